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
// writer, and the timers that serve them: one wakes the run when something falls due, one
// writes again the rows that wait every second, one asks for a reconnect every 2 s while the
// device is away. All of them run in the polling loop's yields like every other timer. A watch
// over modal dialogs holds the run while one is open.
class RunSession : public QObject {
    Q_OBJECT
public:
    static constexpr int RetryIntervalMs = 1000;
    static constexpr int ReconnectIntervalMs = 2000;

    RunSession(const RunDefinition& definition, RunTerminal& terminal, const RunClock& clock,
               const QTimeZone& zone, QObject* parent = nullptr);
    ~RunSession() override;

    const RunDefinition& definition() const { return m_definition; }
    const MeasurementRun& run() const { return m_run; }
    const RunCsvWriter& writer() const { return m_writer; }
    bool hasBegun() const { return m_begun; }
    bool isRunning() const { return m_run.isRunning(); }
    bool isLinkDown() const { return m_run.isLinkDown(); }
    // Waiting for a port to open: before the run began, or after its device went away.
    bool isReconnecting() const { return m_reconnect.isActive(); }
    QString csvPath() const { return m_file.path(); }
    // Where the rows that could not be written went when the run ended ("" when none waited);
    // `unsavedFailed` tells that they could not be written anywhere.
    QString unsavedPath() const { return m_unsavedPath; }
    bool unsavedFailed() const { return m_unsavedFailed; }

    // Opens the CSV file for the run: "" or what is wrong with it.
    QString openFile();
    // Starts the run on the port named (as failures name it, "COM 5 (/dev/pts/3)").
    void begin(const QString& portLabel);
    // The file is closed again without a run (the connect failed); a file this session made
    // and never wrote is removed.
    void discard();
    // Asks for a reconnect now and then every ReconnectIntervalMs, until the link is back.
    void keepReconnecting(bool on);

    void lineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                     const std::optional<QString>& line);
    void sendTyped(const QString& command);
    void linkLost(const QString& description);
    void linkResumed();
    void notice(const QString& text);
    void stop(RunEnd end, const QString& detail = QString());
    QStringList takeUnsent() { return m_run.takeUnsent(); }
    // Writes the rows that could not be written into the file the user chose.
    QString saveUnwrittenTo(const QString& path);

signals:
    // The run's figures or state may have changed.
    void changed();
    // A fault the user should hear of (a write that failed).
    void fault();
    // The run has ended (its `stopped` row is written or waits).
    void ended();
    // Time to try to open the port again.
    void reconnectDue();

private:
    void wake();
    void retryWriting();
    void afterChange();

    RunDefinition m_definition;
    const RunClock& m_clock;
    RunCsvFile m_file;
    RunCsvWriter m_writer;
    MeasurementRun m_run;
    QTimer m_timer;
    QTimer m_retry;
    QTimer m_reconnect;
    std::unique_ptr<ModalWatch> m_modals;
    bool m_begun = false;
    bool m_endReported = false;
    bool m_writeFailing = false;
    QString m_unsavedPath;
    bool m_unsavedFailed = false;
};
