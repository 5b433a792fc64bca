#include "RunCsvWriter.h"

#include "CsvFormat.h"
#include "RunClock.h"
#include "RunCsvFile.h"

RunCsvWriter::RunCsvWriter(RunCsvFile& file, const RunClock& clock, const QTimeZone& zone)
    : m_file(file), m_clock(clock), m_zone(zone)
{
}

void RunCsvWriter::write(const RunRow& row)
{
    const QString failure = m_file.append(CsvFormat::rowLine(row, m_zone));
    if (!failure.isEmpty())
        m_failure = failure;
}

void RunCsvWriter::sync()
{
    const QString failure = m_file.sync();
    if (!failure.isEmpty())
        m_failure = failure;
    m_lastSyncNs = m_clock.nowNs();
    m_synced = true;
}

void RunCsvWriter::cycleEnded()
{
    if (!m_synced || m_clock.nowNs() - m_lastSyncNs >= 1'000'000'000)
        sync();
}

void RunCsvWriter::runEnded()
{
    sync();
}
