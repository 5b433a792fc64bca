#pragma once

#include "RunRow.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

class RunClock;

// What a measurement run needs of the terminal it runs on.
class RunTerminal {
public:
    virtual ~RunTerminal() = default;
    // Sends the command as Send does: a command row in the log, then the text and CR LF on the
    // line. Returns how many bytes the terminal had taken from the device before the command's
    // bytes were written, or nothing when it could not be sent (`failure` says why).
    virtual std::optional<quint64> sendCommand(const QString& command, QString* failure) = 0;
};

// Where a run's rows go: its CSV file; tests collect them.
class RunRowSink {
public:
    virtual ~RunRowSink() = default;
    virtual void write(const RunRow& row) = 0;
    // The rows of a cycle, or of the whole run, are complete.
    virtual void cycleEnded() {}
    virtual void runEnded() {}
};

// Why a run ended.
enum class RunEnd {
    StopPressed,
    Disconnected,
    PortOrRateChanged,
    DeviceLost,
    TerminalClosed,
    CyclesDone,
    RowsNotWritten,
};

// A measurement run: its commands sent in turn, cycle k starting at t0 + k × period on the
// schedule's clock, each command waiting for its reply until its reply time-out; every reply
// paired with the command it answers and every event handed to the sink as a row the moment it
// is complete. It keeps no timer itself: the terminal calls advance() at nextWakeNs() and hands
// it every line it reads. A cycle that falls due while the run is busy (a command still waits,
// a modal dialog is open) is skipped, never sent late.
class MeasurementRun {
public:
    struct Settings {
        QStringList commands;
        qint64 periodNs = 1'000'000'000;
        qint64 replyTimeoutNs = 1'000'000'000;
        qint64 cycles = 0; // 0: until stopped
    };
    struct Counts {
        qint64 cyclesDone = 0;
        qint64 replies = 0;
        qint64 noReplies = 0;
        QString lastReply;
        qint64 lastReplyWallMs = -1;
    };

    MeasurementRun(Settings settings, RunTerminal& terminal, RunRowSink& sink,
                   const RunClock& clock);

    // Writes the `started` row, whose reply is `description`, and starts cycle 0 now.
    void start(const QString& description);
    // Does what has fallen due by now: a reply time-out, the next cycle.
    void advance();
    // When advance() is next needed, on the schedule's clock; -1 when nothing is due.
    qint64 nextWakeNs() const;
    // A line the terminal read: `startPosition` counts the bytes taken from the device before
    // its first character, `atNs` and `atWallMs` are when its line feed came. No line: the
    // reader gave up on it at its own time-out.
    void lineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                     const std::optional<QString>& line);
    // A command the user typed: sent now when no command waits for its reply, else as soon as
    // none does; paired like the run's own.
    void sendTyped(const QString& command);
    // A modal dialog of the terminal opened or closed: nothing is sent meanwhile, and the time
    // it was open does not count towards a reply time-out.
    void modalOpened();
    void modalClosed();
    // The device went away: a command still waiting gets `no reply`, the rest of its cycle is
    // not sent, and a `link lost` row says what happened. The schedule goes on meanwhile, but
    // nothing is sent until linkResumed().
    void linkLost(const QString& description);
    // The port is open again: a `resumed` row counts the cycles that fell due in the gap (none
    // is sent late), and the run goes on at its next due time.
    void linkResumed();
    bool isLinkDown() const { return m_linkDown; }
    // Something a message box would have said, as a `notice` row.
    void notice(const QString& text);
    // Ends the run: a command still waiting gets `no reply`, then the `stopped` row.
    void stop(RunEnd end, const QString& detail = QString());
    // The typed commands that were still waiting for their turn when the run ended.
    QStringList takeUnsent() { return std::exchange(m_typed, QStringList()); }

    bool isRunning() const { return m_running; }
    bool isWaiting() const { return m_waiting.has_value(); }
    const Counts& counts() const { return m_counts; }
    const Settings& settings() const { return m_settings; }
    // Why the run ended, as its `stopped` row says it.
    QString endText() const { return m_endText; }
    // Cycles started or skipped so far (what "Stop after" counts).
    qint64 cyclesCounted() const { return m_counted; }

private:
    struct Waiting {
        QString command;
        quint64 position = 0; // bytes taken from the device before the send
        qint64 sentNs = 0;
        qint64 sentWallMs = 0;
        qint64 deadlineNs = 0;
    };

    bool busy() const { return m_inCycle || m_waiting.has_value(); }
    qint64 dueNs(qint64 cycle) const { return m_t0 + cycle * m_settings.periodNs; }
    void row(RunStatus status, qint64 wallMs, qint64 atNs, const QString& command = QString(),
             const QString& reply = QString(), const QString& value = QString(),
             qint64 latencyNs = -1);
    void expireWaiting(qint64 nowNs);
    void noReply();
    void sendNext();
    bool send(const QString& command);
    void startDueCycle(qint64 nowNs);
    qint64 countFallenDue(qint64 nowNs);
    void finish(RunEnd end, const QString& detail);

    Settings m_settings;
    RunTerminal& m_terminal;
    RunRowSink& m_sink;
    const RunClock& m_clock;
    bool m_running = false;
    qint64 m_t0 = 0;
    qint64 m_nextCycle = 0;   // the first cycle neither started nor skipped
    qint64 m_counted = 0;     // cycles started or skipped
    bool m_inCycle = false;   // a cycle's commands are going out
    int m_nextCommand = 0;    // of the cycle in progress
    qint64 m_freeSinceNs = 0; // since when nothing has kept a cycle from starting
    std::optional<Waiting> m_waiting;
    QStringList m_typed;        // typed commands waiting for their turn
    qint64 m_modalSinceNs = -1; // when the open modal dialog opened; -1: none is open
    bool m_linkDown = false;    // the device went away and is not back yet
    Counts m_counts;
    QString m_endText;
};
