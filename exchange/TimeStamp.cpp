#include "TimeStamp.h"

#include <QStringView>

namespace {

bool isPatternLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// Length of the run of one pattern letter that starts at `at`.
qsizetype runLength(QStringView format, qsizetype at)
{
    qsizetype length = 1;
    while (at + length < format.size() && format[at + length] == format[at])
        ++length;
    return length;
}

// Whether the run of a pattern letter is a numeric field: day, month number, year, hour,
// minute or second (a day or month written with three letters or more is a name).
bool isNumericField(QChar letter, qsizetype length)
{
    switch (letter.unicode()) {
    case u'd':
    case u'M':
        return length <= 2;
    case u'y':
    case u'h':
    case u'H':
    case u'm':
    case u's':
        return true;
    default:
        return false;
    }
}

bool isNumericFieldAt(QStringView format, qsizetype at)
{
    return at < format.size() && isPatternLetter(format[at]) &&
           isNumericField(format[at], runLength(format, at));
}

// The single character between the first two numeric fields of a date or time format, when
// it is one of the four separators the time stamp can use.
QChar separatorOf(const QString& format, QChar fallback)
{
    const QStringView view(format);
    bool quoted = false;
    for (qsizetype at = 0; at < view.size(); ++at) {
        const QChar c = view[at];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted || !isPatternLetter(c))
            continue;
        const qsizetype length = runLength(view, at);
        if (!isNumericField(c, length)) {
            at += length - 1; // a name or a marker: the first numeric field comes later
            continue;
        }
        const qsizetype after = at + length;
        if (after >= view.size() || !isNumericFieldAt(view, after + 1))
            return fallback;
        const QChar separator = view[after];
        const bool known = separator == QLatin1Char('/') || separator == QLatin1Char('-') ||
                           separator == QLatin1Char('.') || separator == QLatin1Char(':');
        return known ? separator : fallback;
    }
    return fallback;
}

void appendDigits(QChar*& out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    out += width;
}

} // namespace

TimeStampSeparators timeStampSeparators(const QLocale& locale)
{
    TimeStampSeparators separators;
    separators.date = separatorOf(locale.dateFormat(QLocale::ShortFormat), separators.date);
    separators.time = separatorOf(locale.timeFormat(QLocale::ShortFormat), separators.time);
    return separators;
}

QString timeStampText(const QDateTime& localTime, TimeStampSeparators separators)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    QString text(23, Qt::Uninitialized);
    QChar* out = text.data();
    appendDigits(out, date.month(), 2);
    *out++ = separators.date;
    appendDigits(out, date.day(), 2);
    *out++ = separators.date;
    appendDigits(out, date.year(), 4);
    *out++ = QLatin1Char(' ');
    appendDigits(out, time.hour(), 2);
    *out++ = separators.time;
    appendDigits(out, time.minute(), 2);
    *out++ = separators.time;
    appendDigits(out, time.second(), 2);
    *out++ = QLatin1Char('.');
    appendDigits(out, time.msec(), 3);
    return text;
}

QString timeStampText(const QDateTime& localTime, const QLocale& locale)
{
    return timeStampText(localTime, timeStampSeparators(locale));
}

QString timeStampText(const QDateTime& localTime)
{
    return timeStampText(localTime, QLocale());
}
