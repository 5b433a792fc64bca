// The colours and marks of the chart's series.

#include "SeriesStyle.h"

namespace {

// Okabe–Ito's colours, the strongest on white first: most charts have one or two series. The
// palette's yellow (#F0E442) barely shows on white; it is darkened, its hue kept, until it stands
// out from white as much as the palette's orange does.
constexpr QRgb Palette[SeriesStyle::Colours] = {
    0x0072B2, // blue
    0xD55E00, // vermilion
    0x009E73, // bluish green
    0xCC79A7, // reddish purple
    0x000000, // black
    0xE69F00, // orange
    0x56B4E9, // sky blue
    0xB9B033, // yellow, darkened
};

int wrapped(int value, int count)
{
    return (value % count + count) % count;
}

} // namespace

namespace SeriesStyle {

QColor colour(int series)
{
    return QColor::fromRgb(Palette[wrapped(series, Colours)]);
}

QList<qreal> dashPixels(int series)
{
    switch (wrapped(series / Colours, Marks)) {
    case 1:
        return {6, 4}; // dashes
    case 2:
        return {1.5, 3}; // dots
    case 3:
        return {6, 3, 1.5, 3}; // dashes and dots
    default:
        return {};
    }
}

QPen pen(int series, qreal width)
{
    QPen pen(colour(series), width);
    pen.setCapStyle(Qt::FlatCap);
    const QList<qreal> dashes = dashPixels(series);
    if (!dashes.isEmpty()) {
        // A pen's dashes are counted in its widths.
        QList<qreal> pattern;
        for (const qreal pixels : dashes)
            pattern << pixels / width;
        pen.setDashPattern(pattern);
    }
    return pen;
}

} // namespace SeriesStyle
