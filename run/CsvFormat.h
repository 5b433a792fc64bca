#pragma once

#include "RunRow.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

class QDateTime;
class QTimeZone;

// The text of a measurement run's CSV file: UTF-8, lines ended by CR LF, fields quoted as
// RFC 4180 says.
namespace CsvFormat {

// The first line of the file, with its line end.
QByteArray headerLine();
// A field as it stands, or in double quotes with its quotes doubled when it holds a comma, a
// double quote, a carriage return or a line feed.
QString field(QStringView text);
// Local date and time to the millisecond with the UTC offset, ISO 8601:
// "2026-12-08T09:05:03.007+01:00" ("+00:00" at UTC, never "Z"). An invalid zone stands for the
// computer's local time as it is set at that moment, so that a change of the time zone shows.
QString isoTime(qint64 msecsSinceEpoch, const QTimeZone& zone);
// The date and time in that zone (or in local time, for an invalid zone).
QDateTime inZone(qint64 msecsSinceEpoch, const QTimeZone& zone);
// Nanoseconds as seconds or milliseconds with three decimals, rounded to the nearest.
QString seconds3(qint64 ns);
QString milliseconds3(qint64 ns);
// A whole row with its line end, its time in the given zone.
QByteArray rowLine(const RunRow& row, const QTimeZone& zone);

} // namespace CsvFormat
