#pragma once

#include "MeasurementRun.h"

#include <QByteArray>
#include <QTimeZone>

#include <deque>

class RunClock;
class RunCsvFile;

// Writes a measurement run's rows into its CSV file the moment each is complete, and puts the
// file on the disk after a cycle's rows, at most once a second, and when the run ends.
//
// A row that cannot be written (a full disk, a drive gone) waits, in order, with those after
// it; retry() writes them again. In the file the gap reads: a `write failed` row (when and why
// the first write failed), the rows that waited, a `written again` row (how many waited). Where
// the system can tell, the writer also makes sure at each sync that the path still names the
// file it holds: a file or folder removed meanwhile counts as a failed write, and the rows since
// the last good check are written again into a new file once the path can be made again.
class RunCsvWriter : public RunRowSink {
public:
    static constexpr int MaxWaiting = 1'000'000;

    RunCsvWriter(RunCsvFile& file, const RunClock& clock, const QTimeZone& zone);

    void write(const RunRow& row) override;
    void cycleEnded() override;
    void runEnded() override;

    // Tries to write the rows that wait; true when none waits any more.
    bool retry();
    // Rows that wait to be written, and why the last try failed.
    int waiting() const { return int(m_waiting.size()); }
    QString failure() const { return m_failure; }
    // More rows wait than are kept: the run must stop rather than lose any.
    bool isFull() const { return waiting() >= MaxWaiting; }
    // Writes the rows that still wait into a file of their own, with the header and the run's
    // `started` row: NAME.unsaved-YYYY-MM-DD_HH-MM-SS.csv beside the CSV file, or in `fallback`
    // when that fails. Returns where they went, or "" when neither could be written.
    QString saveWaiting(const QString& fallbackFolder);
    // The same, into a path the user chose; "" or the reason it failed.
    QString saveWaitingTo(const QString& path);
    // The name saveWaiting() gives such a file.
    QString unsavedName() const;

private:
    bool appendLine(const QByteArray& line);
    void failed(const QString& reason, const QByteArray& line);
    bool reopen();
    void checkPath();
    QByteArray rowLine(RunStatus status, const QString& reply, const QString& value) const;

    RunCsvFile& m_file;
    const RunClock& m_clock;
    QTimeZone m_zone;
    qint64 m_startNs = 0;
    QByteArray m_startedLine;            // the run's `started` row, for a file made anew
    std::deque<QByteArray> m_waiting;    // rows to write, in order, gap markers included
    int m_waitedRows = 0;                // of those, the run's own rows
    std::deque<QByteArray> m_sinceCheck; // written since the path was last found good
    qint64 m_lastSyncNs = 0;
    bool m_synced = false;
    bool m_reopen = false; // the file held is not the one at the path any more
    QString m_failure;
};
