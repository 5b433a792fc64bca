#pragma once

#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>

// The separators of the reply time stamp "mm/dd/yyyy hh:nn:ss.000": the date and the time
// separator of a locale's short formats, when that is "/", "-", "." or ":"; otherwise "/" and
// ":". The field order, the widths and the "." before the milliseconds never change.
struct TimeStampSeparators {
    QChar date = QLatin1Char('/');
    QChar time = QLatin1Char(':');
};

// The character between the first two numeric fields of the locale's short date and time
// formats, where it is a single one of "/", "-", "." or ":".
TimeStampSeparators timeStampSeparators(const QLocale& locale);

// "mm/dd/yyyy hh:nn:ss.000" for the local date and time, month first, with the given separators.
QString timeStampText(const QDateTime& localTime, TimeStampSeparators separators);
QString timeStampText(const QDateTime& localTime, const QLocale& locale);
// With the separators of the default locale (the user's regional settings).
QString timeStampText(const QDateTime& localTime);
