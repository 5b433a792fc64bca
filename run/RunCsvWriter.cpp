#include "RunCsvWriter.h"

#include "CsvFormat.h"
#include "RunClock.h"
#include "RunCsvFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

RunCsvWriter::RunCsvWriter(RunCsvFile& file, const RunClock& clock, const QTimeZone& zone)
    : m_file(file), m_clock(clock), m_zone(zone)
{
}

QByteArray RunCsvWriter::rowLine(RunStatus status, const QString& reply, const QString& value) const
{
    RunRow row;
    row.status = status;
    row.wallMs = m_clock.wallMs();
    row.elapsedNs = m_clock.nowNs() - m_startNs;
    row.reply = reply;
    row.value = value;
    return CsvFormat::rowLine(row, m_zone);
}

bool RunCsvWriter::appendLine(const QByteArray& line)
{
    const QString failure = m_file.append(line);
    if (!failure.isEmpty()) {
        m_failure = failure;
        return false;
    }
    m_sinceCheck.push_back(line);
    return true;
}

void RunCsvWriter::failed(const QString& reason, const QByteArray& line)
{
    // The first failure of a gap is marked, at its own time, before the rows that wait.
    if (m_waiting.empty()) {
        m_waiting.push_back(rowLine(RunStatus::WriteFailed, reason, QString()));
        m_waitedRows = 0;
    }
    m_failure = reason;
    if (!line.isEmpty()) {
        m_waiting.push_back(line);
        ++m_waitedRows;
    }
}

void RunCsvWriter::write(const RunRow& row)
{
    const QByteArray line = CsvFormat::rowLine(row, m_zone);
    if (row.status == RunStatus::Started) {
        m_startNs = m_clock.nowNs() - row.elapsedNs;
        m_startedLine = line;
    }
    if (m_waiting.empty() && !m_reopen && m_file.isOpen() && appendLine(line)) {
        // A file made anew gets the `started` row first in any case.
        if (row.status == RunStatus::Started)
            m_sinceCheck.pop_back();
        return;
    }
    failed(m_failure.isEmpty() ? QStringLiteral("the file is not open") : m_failure, line);
}

bool RunCsvWriter::reopen()
{
    // A new file at the path starts as a run's file does, with the run's `started` row.
    m_file.close();
    const QString failure = m_file.open(m_file.path());
    if (failure.isEmpty())
        m_file.begin(CsvFormat::headerLine());
    if (!failure.isEmpty() || (m_file.isNew() && !appendLine(m_startedLine))) {
        if (!failure.isEmpty())
            m_failure = failure;
        m_file.close();
        return false;
    }
    // Should this file go too, its `started` row is written anew rather than again.
    if (m_file.isNew())
        m_sinceCheck.pop_back();
    m_reopen = false;
    return true;
}

bool RunCsvWriter::retry()
{
    if (m_waiting.empty())
        return true;
    if ((m_reopen || !m_file.isOpen()) && !reopen())
        return false;
    while (!m_waiting.empty()) {
        if (!appendLine(m_waiting.front()))
            return false;
        m_waiting.pop_front();
    }
    const QByteArray written =
        rowLine(RunStatus::WrittenAgain, QString(), QString::number(m_waitedRows));
    if (!appendLine(written)) {
        failed(m_failure, written);
        return false;
    }
    m_failure.clear();
    return true;
}

void RunCsvWriter::checkPath()
{
    if (m_reopen || !m_file.isOpen() || m_file.stillAtPath()) {
        m_sinceCheck.clear();
        return;
    }
    // What went into the file since the last check went with it: it is written again, before
    // the rows that wait already (whose gap marker gives way to the new one).
    std::deque<QByteArray> lost = std::move(m_sinceCheck);
    m_sinceCheck.clear();
    const int waitedBefore = m_waiting.empty() ? 0 : m_waitedRows;
    std::deque<QByteArray> later = std::move(m_waiting);
    m_waiting.clear();
    if (!later.empty())
        later.pop_front();
    failed(QStringLiteral("the file was removed or replaced"), QByteArray());
    for (QByteArray& line : lost)
        m_waiting.push_back(std::move(line));
    for (QByteArray& line : later)
        m_waiting.push_back(std::move(line));
    m_waitedRows = int(lost.size()) + waitedBefore;
    m_reopen = true;
}

void RunCsvWriter::cycleEnded()
{
    if (m_synced && m_clock.nowNs() - m_lastSyncNs < 1'000'000'000)
        return;
    m_lastSyncNs = m_clock.nowNs();
    m_synced = true;
    if (m_waiting.empty() && m_file.isOpen()) {
        const QString failure = m_file.sync();
        if (!failure.isEmpty())
            m_failure = failure;
    }
    checkPath();
}

void RunCsvWriter::runEnded()
{
    checkPath();
    retry();
    if (m_waiting.empty() && m_file.isOpen())
        m_file.sync();
}

QString RunCsvWriter::unsavedName() const
{
    const QFileInfo csv(m_file.path());
    return QStringLiteral("%1.unsaved-%2.csv")
        .arg(csv.completeBaseName(), CsvFormat::inZone(m_clock.wallMs(), m_zone)
                                         .toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
}

QString RunCsvWriter::saveWaitingTo(const QString& path)
{
    RunCsvFile file;
    QString failure = file.open(path);
    if (failure.isEmpty())
        failure = file.begin(CsvFormat::headerLine());
    if (failure.isEmpty() && !m_startedLine.isEmpty())
        failure = file.append(m_startedLine);
    for (const QByteArray& line : m_waiting) {
        if (!failure.isEmpty())
            break;
        failure = file.append(line);
    }
    if (failure.isEmpty())
        failure = file.sync();
    if (!failure.isEmpty()) {
        file.discardIfUnused();
        return failure;
    }
    m_waiting.clear();
    return QString();
}

QString RunCsvWriter::saveWaiting(const QString& fallbackFolder)
{
    const QString name = unsavedName();
    for (const QString& folder : {QFileInfo(m_file.path()).absolutePath(), fallbackFolder}) {
        const QString path = QDir(folder).filePath(name);
        if (!folder.isEmpty() && saveWaitingTo(path).isEmpty())
            return QDir::toNativeSeparators(path);
    }
    return QString();
}
