#include "CsvFormat.h"

#include <QDateTime>
#include <QTimeZone>

QString runStatusText(RunStatus status)
{
    switch (status) {
    case RunStatus::Started:
        return QStringLiteral("started");
    case RunStatus::Ok:
        return QStringLiteral("ok");
    case RunStatus::NoReply:
        return QStringLiteral("no reply");
    case RunStatus::Unsolicited:
        return QStringLiteral("unsolicited");
    case RunStatus::Skipped:
        return QStringLiteral("skipped");
    case RunStatus::LinkLost:
        return QStringLiteral("link lost");
    case RunStatus::Resumed:
        return QStringLiteral("resumed");
    case RunStatus::WriteFailed:
        return QStringLiteral("write failed");
    case RunStatus::WrittenAgain:
        return QStringLiteral("written again");
    case RunStatus::Notice:
        return QStringLiteral("notice");
    case RunStatus::Stopped:
        return QStringLiteral("stopped");
    }
    return QString();
}

namespace CsvFormat {

QByteArray headerLine()
{
    return QByteArrayLiteral("time,elapsed_s,command,reply,value,latency_ms,status\r\n");
}

QString field(QStringView text)
{
    bool quote = false;
    for (QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text.toString();
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (QChar c : text) {
        if (c == u'"')
            quoted += u'"';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

QDateTime inZone(qint64 msecsSinceEpoch, const QTimeZone& zone)
{
    return zone.isValid() ? QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, zone)
                          : QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::LocalTime);
}

QString isoTime(qint64 msecsSinceEpoch, const QTimeZone& zone)
{
    const QDateTime local = inZone(msecsSinceEpoch, zone);
    const int offsetMinutes = local.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    const QDate date = local.date();
    const QTime time = local.time();
    return QStringLiteral("%1-%2-%3T%4:%5:%6.%7%8%9:%10")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'))
        .arg(time.msec(), 3, 10, QLatin1Char('0'))
        .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

namespace {

// A count of thousandths as "whole.ddd".
QString thousandths(qint64 count)
{
    const qint64 magnitude = count < 0 ? -count : count;
    return QStringLiteral("%1%2.%3")
        .arg(count < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 1000)
        .arg(magnitude % 1000, 3, 10, QLatin1Char('0'));
}

qint64 roundedDivision(qint64 value, qint64 divisor)
{
    return value >= 0 ? (value + divisor / 2) / divisor : -((-value + divisor / 2) / divisor);
}

} // namespace

QString seconds3(qint64 ns)
{
    return thousandths(roundedDivision(ns, 1'000'000));
}

QString milliseconds3(qint64 ns)
{
    return thousandths(roundedDivision(ns, 1'000));
}

QByteArray rowLine(const RunRow& row, const QTimeZone& zone)
{
    QString line = isoTime(row.wallMs, zone);
    line += u',';
    line += seconds3(row.elapsedNs);
    line += u',';
    line += field(row.command);
    line += u',';
    line += field(row.reply);
    line += u',';
    line += field(row.value);
    line += u',';
    if (row.latencyNs >= 0)
        line += milliseconds3(row.latencyNs);
    line += u',';
    line += runStatusText(row.status);
    line += QLatin1String("\r\n");
    return line.toUtf8();
}

} // namespace CsvFormat
