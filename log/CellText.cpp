#include "CellText.h"

#include <QFontMetrics>

namespace {
const QChar Ellipsis(0x2026);
} // namespace

QString cellTextForWidth(QStringView text, const QFontMetrics& metrics, int width)
{
    if (width <= 0)
        return QString();
    // Every character that shows takes a pixel at least, so more than `width` of them never
    // fit; a line cut here still ends in the ellipsis that says there is more.
    const qsizetype enough = qsizetype(width) + 1;
    QString measured = text.left(enough).toString();
    if (text.size() > enough)
        measured += Ellipsis;
    return metrics.elidedText(measured, Qt::ElideRight, width);
}

QString cellToolTipText(QStringView text, int lineLength, int maxLines)
{
    QString tip;
    const qsizetype shown = std::min(text.size(), qsizetype(lineLength) * maxLines);
    for (qsizetype start = 0; start < shown; start += lineLength) {
        if (start > 0)
            tip += QLatin1Char('\n');
        tip += text.mid(start, std::min<qsizetype>(lineLength, shown - start));
    }
    if (shown < text.size())
        tip += Ellipsis;
    return tip;
}
