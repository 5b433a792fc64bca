#pragma once

#include "MeasurementRun.h"

#include <QTimeZone>

class RunClock;
class RunCsvFile;

// Writes a measurement run's rows into its CSV file the moment each is complete, and puts the
// file on the disk after a cycle's rows, at most once a second, and when the run ends.
class RunCsvWriter : public RunRowSink {
public:
    RunCsvWriter(RunCsvFile& file, const RunClock& clock, const QTimeZone& zone);

    void write(const RunRow& row) override;
    void cycleEnded() override;
    void runEnded() override;

    // Why the last write or sync failed; "" while all went well.
    QString failure() const { return m_failure; }

private:
    void sync();

    RunCsvFile& m_file;
    const RunClock& m_clock;
    QTimeZone m_zone;
    qint64 m_lastSyncNs = 0;
    bool m_synced = false; // ever
    QString m_failure;
};
