#pragma once

#include <QDateTime>
#include <QString>

// The time stamp of a reply: "mm/dd/yyyy hh:nn:ss.000", month first, with "/" and ":" as
// separators and the milliseconds as three digits.
QString timeStampText(const QDateTime& localTime);
