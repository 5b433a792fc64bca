#include "MeasurementRun.h"

#include "ReplyValue.h"
#include "RunClock.h"

namespace {

// The quotient rounded towards minus infinity, and towards plus infinity.
qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
qint64 ceilDiv(qint64 a, qint64 b)
{
    return -floorDiv(-a, b);
}

} // namespace

MeasurementRun::MeasurementRun(Settings settings, RunTerminal& terminal, RunRowSink& sink,
                               const RunClock& clock)
    : m_settings(std::move(settings)), m_terminal(terminal), m_sink(sink), m_clock(clock)
{
}

void MeasurementRun::row(RunStatus status, qint64 wallMs, qint64 atNs, const QString& command,
                         const QString& reply, const QString& value, qint64 latencyNs)
{
    RunRow row;
    row.status = status;
    row.wallMs = wallMs;
    row.elapsedNs = atNs - m_t0;
    row.command = command;
    row.reply = reply;
    row.value = value;
    row.latencyNs = latencyNs;
    m_sink.write(row);
}

void MeasurementRun::start(const QString& description)
{
    m_t0 = m_clock.nowNs();
    m_freeSinceNs = m_t0;
    m_running = true;
    row(RunStatus::Started, m_clock.wallMs(), m_t0, QString(), description);
    startDueCycle(m_t0);
}

qint64 MeasurementRun::nextWakeNs() const
{
    if (!m_running || m_modalSinceNs >= 0)
        return -1;
    // While the link is down, only the end of "Stop after" can fall due.
    if (m_linkDown)
        return m_settings.cycles > 0 ? dueNs(m_nextCycle + m_settings.cycles - m_counted - 1) : -1;
    if (m_waiting)
        return m_waiting->deadlineNs;
    if (busy())
        return -1;
    return dueNs(m_nextCycle);
}

void MeasurementRun::advance()
{
    if (!m_running || m_modalSinceNs >= 0)
        return;
    const qint64 now = m_clock.nowNs();
    if (m_linkDown) {
        const qint64 wake = nextWakeNs();
        if (wake >= 0 && now >= wake) {
            countFallenDue(now);
            finish(RunEnd::CyclesDone, QString());
        }
        return;
    }
    expireWaiting(now);
    if (m_running && !busy())
        startDueCycle(now);
}

void MeasurementRun::expireWaiting(qint64 nowNs)
{
    if (!m_waiting || nowNs < m_waiting->deadlineNs)
        return;
    noReply();
    sendNext();
}

void MeasurementRun::noReply()
{
    const Waiting waiting = *m_waiting;
    m_waiting.reset();
    ++m_counts.noReplies;
    row(RunStatus::NoReply, waiting.sentWallMs, waiting.sentNs, waiting.command);
}

void MeasurementRun::lineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                                 const std::optional<QString>& line)
{
    if (!m_running)
        return;
    // A time-out that passed before this line was complete comes first.
    if (m_modalSinceNs < 0)
        expireWaiting(atNs);
    const QString text = line.value_or(QString());
    if (m_waiting && !text.isEmpty() && startPosition >= m_waiting->position &&
        atNs <= m_waiting->deadlineNs) {
        const Waiting waiting = *m_waiting;
        m_waiting.reset();
        ++m_counts.replies;
        m_counts.lastReply = text;
        m_counts.lastReplyWallMs = atWallMs;
        row(RunStatus::Ok, waiting.sentWallMs, waiting.sentNs, waiting.command, text,
            replyValue(text), atNs - waiting.sentNs);
        sendNext();
        if (m_running && !busy())
            startDueCycle(m_clock.nowNs());
        return;
    }
    row(RunStatus::Unsolicited, atWallMs, atNs, QString(), text, replyValue(text));
}

void MeasurementRun::sendTyped(const QString& command)
{
    m_typed << command;
    if (!m_waiting && m_modalSinceNs < 0 && !m_linkDown)
        sendNext();
}

void MeasurementRun::linkLost(const QString& description)
{
    if (!m_running || m_linkDown)
        return;
    if (m_waiting)
        noReply();
    m_inCycle = false;
    const qint64 now = m_clock.nowNs();
    for (const QString& typed : std::exchange(m_typed, QStringList()))
        row(RunStatus::Notice, m_clock.wallMs(), now, typed,
            QStringLiteral("not sent: the link was lost"));
    m_linkDown = true;
    row(RunStatus::LinkLost, m_clock.wallMs(), now, QString(), description);
}

void MeasurementRun::linkResumed()
{
    if (!m_running || !m_linkDown)
        return;
    m_linkDown = false;
    const qint64 now = m_clock.nowNs();
    const qint64 gap = countFallenDue(now);
    row(RunStatus::Resumed, m_clock.wallMs(), now, QString(), QString(), QString::number(gap));
    m_freeSinceNs = now;
    if (m_settings.cycles > 0 && m_counted >= m_settings.cycles)
        finish(RunEnd::CyclesDone, QString());
}

qint64 MeasurementRun::countFallenDue(qint64 nowNs)
{
    qint64 fallen =
        std::max<qint64>(0, floorDiv(nowNs - m_t0, m_settings.periodNs) + 1 - m_nextCycle);
    if (m_settings.cycles > 0)
        fallen = std::min(fallen, m_settings.cycles - m_counted);
    m_nextCycle += fallen;
    m_counted += fallen;
    return fallen;
}

void MeasurementRun::notice(const QString& text)
{
    if (m_running)
        row(RunStatus::Notice, m_clock.wallMs(), m_clock.nowNs(), QString(), text);
}

bool MeasurementRun::send(const QString& command)
{
    QString failure;
    const std::optional<quint64> position = m_terminal.sendCommand(command, &failure);
    const qint64 sentNs = m_clock.nowNs();
    const qint64 sentWallMs = m_clock.wallMs();
    if (!position) {
        row(RunStatus::Notice, sentWallMs, sentNs, command,
            QStringLiteral("not sent: %1").arg(failure));
        return false;
    }
    m_waiting = Waiting{command, *position, sentNs, sentWallMs, sentNs + m_settings.replyTimeoutNs};
    return true;
}

void MeasurementRun::sendNext()
{
    while (m_running && !m_waiting && !m_linkDown) {
        if (!m_typed.isEmpty()) {
            send(m_typed.takeFirst());
            continue;
        }
        if (!m_inCycle) {
            m_freeSinceNs = m_clock.nowNs();
            return;
        }
        if (m_nextCommand < m_settings.commands.size()) {
            send(m_settings.commands[m_nextCommand++]);
            continue;
        }
        m_inCycle = false;
        ++m_counts.cyclesDone;
        m_sink.cycleEnded();
        m_freeSinceNs = m_clock.nowNs();
        if (m_settings.cycles > 0 && m_counted >= m_settings.cycles)
            finish(RunEnd::CyclesDone, QString());
        return;
    }
}

void MeasurementRun::startDueCycle(qint64 nowNs)
{
    const qint64 latest = floorDiv(nowNs - m_t0, m_settings.periodNs);
    if (latest < m_nextCycle)
        return;
    // Of the cycles that have fallen due, those that did while the run was busy are skipped.
    // Of those that fell due since it has been free, only one may start, and only when it is
    // the only one: several mean that the timer came far too late (the computer slept, or the
    // window was held up), and the run goes on at the next due time rather than in a burst.
    const qint64 firstFree =
        std::max(m_nextCycle, ceilDiv(m_freeSinceNs - m_t0, m_settings.periodNs));
    const bool startLatest = latest == firstFree;
    qint64 skipped = latest - m_nextCycle + (startLatest ? 0 : 1);
    bool start = startLatest;
    if (m_settings.cycles > 0) {
        const qint64 left = m_settings.cycles - m_counted;
        if (skipped >= left) {
            skipped = left;
            start = false;
        }
    }
    m_nextCycle = latest + 1;
    if (skipped > 0) {
        m_counted += skipped;
        row(RunStatus::Skipped, m_clock.wallMs(), nowNs, QString(), QString(),
            QString::number(skipped));
    }
    if (m_settings.cycles > 0 && m_counted >= m_settings.cycles) {
        finish(RunEnd::CyclesDone, QString());
        return;
    }
    if (!start)
        return;
    ++m_counted;
    m_inCycle = true;
    m_nextCommand = 0;
    sendNext();
}

void MeasurementRun::modalOpened()
{
    if (m_running && m_modalSinceNs < 0)
        m_modalSinceNs = m_clock.nowNs();
}

void MeasurementRun::modalClosed()
{
    if (m_modalSinceNs < 0)
        return;
    const qint64 now = m_clock.nowNs();
    if (m_waiting)
        m_waiting->deadlineNs += now - m_modalSinceNs;
    m_modalSinceNs = -1;
    if (!m_running)
        return;
    // The cycles that fell due while the dialog was open are skipped.
    if (!busy())
        m_freeSinceNs = now;
    if (!m_waiting)
        sendNext();
    advance();
}

void MeasurementRun::stop(RunEnd end, const QString& detail)
{
    if (m_running)
        finish(end, detail);
}

void MeasurementRun::finish(RunEnd end, const QString& detail)
{
    if (m_waiting)
        noReply();
    m_inCycle = false;
    switch (end) {
    case RunEnd::StopPressed:
        m_endText = QStringLiteral("Stop pressed");
        break;
    case RunEnd::Disconnected:
        m_endText = QStringLiteral("disconnected");
        break;
    case RunEnd::PortOrRateChanged:
        m_endText = QStringLiteral("port or rate changed");
        break;
    case RunEnd::DeviceLost:
        m_endText = QStringLiteral("device lost: ") + detail;
        break;
    case RunEnd::TerminalClosed:
        m_endText = QStringLiteral("terminal closed");
        break;
    case RunEnd::CyclesDone:
        m_endText = QStringLiteral("%1 cycles done").arg(m_settings.cycles);
        break;
    case RunEnd::RowsNotWritten:
        m_endText = QStringLiteral("rows could not be written");
        break;
    }
    const qint64 now = m_clock.nowNs();
    row(RunStatus::Stopped, m_clock.wallMs(), now, QString(), m_endText);
    m_running = false;
    m_sink.runEnded();
}
