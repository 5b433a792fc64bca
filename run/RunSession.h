#pragma once

#include "MeasurementRun.h"
#include "RunCsvFile.h"
#include "RunCsvWriter.h"
#include "RunDefinition.h"

#include <QObject>
#include <QTimer>

#include <memory>

class ModalWatch;
class QTimeZone;

// A measurement run as it goes on in the terminal: the run itself, its CSV file and the file's
// writer, the timer that wakes the run when something falls due (it runs in the polling loop's
// yields like every other timer), and the watch over modal dialogs, while which nothing is sent.
class RunSession : public QObject {
    Q_OBJECT
public:
    RunSession(const RunDefinition& definition, RunTerminal& terminal, const RunClock& clock,
               const QTimeZone& zone, QObject* parent = nullptr);
    ~RunSession() override;

    const RunDefinition& definition() const { return m_definition; }
    const MeasurementRun& run() const { return m_run; }
    bool hasBegun() const { return m_begun; }
    bool isRunning() const { return m_run.isRunning(); }
    QString csvPath() const { return m_file.path(); }
    // Why the CSV file could not be written last; "" while all is well.
    QString fileFailure() const { return m_writer.failure(); }

    // Opens the CSV file for the run: "" or what is wrong with it.
    QString openFile();
    // Starts the run on the port named (as failures name it, "COM 5 (/dev/pts/3)").
    void begin(const QString& portLabel);
    // The file is closed again without a run (the connect failed); a file this session made
    // and never wrote is removed.
    void discard();

    void lineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                     const std::optional<QString>& line);
    void sendTyped(const QString& command);
    void stop(RunEnd end, const QString& detail = QString());
    QStringList takeUnsent() { return m_run.takeUnsent(); }

signals:
    // The run's figures or state may have changed.
    void changed();
    // The run has ended (its `stopped` row is written).
    void ended();

private:
    void wake();
    void afterChange();

    RunDefinition m_definition;
    const RunClock& m_clock;
    RunCsvFile m_file;
    RunCsvWriter m_writer;
    MeasurementRun m_run;
    QTimer m_timer;
    std::unique_ptr<ModalWatch> m_modals;
    bool m_begun = false;
    bool m_endReported = false;
};
