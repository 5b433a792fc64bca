#include "app/Captions.h"
#include "app/Defaults.h"
#include "app/frmMain.h"
#include "exchange/CommandText.h"
#include "exchange/LineFramer.h"
#include "exchange/TimeStamp.h"
#include "exchange/ValueStripping.h"
#include "log/ResponseListView.h"
#include "log/TextFiles.h"
#include "run/RunSession.h"
#include "serial/SerialPortControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

// A stream line that could not be written.
class StreamError : public Failure {
public:
    using Failure::Failure;
};

// The device went away, or the port stopped delivering: the connection is over.
class LinkLost : public PortError {
public:
    using PortError::PortError;
};

bool isSet(const QCheckBox* box)
{
    return box->checkState() == Qt::Checked;
}

} // namespace

void frmMain::cmdSend_Click()
{
    // A character without a byte on the line would go out as something else than what the log
    // shows: such a command is not sent at all, and stays in the box to be corrected.
    const QStringList unsendable = unsendableCharacters(txtcmd->currentText());
    if (!unsendable.isEmpty()) {
        showMessage(QMessageBox::Warning, QStringLiteral("Error"),
                    QStringLiteral("The command was not sent: %1 cannot be sent to the "
                                   "instrument, which takes only the characters U+0000 to U+00FF "
                                   "(Latin-1). Correct the command and send it again.")
                        .arg(unsendable.join(QStringLiteral(", "))));
        return;
    }
    const bool sendHadFocus = cmdSend->hasFocus();
    cmdSend->setEnabled(false);
    const QString command = txtcmd->currentText();
    txtcmd->lineEdit()->setSelection(0, static_cast<int>(command.size()));
    if (m_runSession && m_runSession->isRunning()) {
        // During a measurement run the command takes its turn between the run's own, and its
        // reply is paired and recorded like theirs.
        m_runSession->sendTyped(command);
    } else {
        QString failure;
        if (!sendLine(command, &failure))
            showMessage(QMessageBox::Warning, QStringLiteral("Error"),
                        QStringLiteral("The command was not sent. %1").arg(failure));
    }
    cmdSend->setEnabled(true);
    if (sendHadFocus)
        cmdSend->setFocus();
}

std::optional<quint64> frmMain::sendLine(const QString& command, QString* failure)
{
    State.CurrentItem = lstResponse->AddRow(command, RowKind::Command);
    lstResponse->EnsureVisible(State.CurrentItem);
    State.CurrentItem = TerminalState::NoRow;
    // What the terminal has taken from the device so far began before this command.
    const quint64 received = ComPort->receivedTotal();
    try {
        ComPort->setOutput(command + QStringLiteral("\r\n"));
    } catch (const PortError& error) {
        *failure = error.description();
        return std::nullopt;
    }
    return received;
}

void frmMain::txtcmd_KeyPress(qint16& KeyAscii)
{
    if (KeyAscii != EnterKeyCode)
        return;
    txtcmd->addItem(txtcmd->currentText());
    cmdSend_Click();
}

QString frmMain::ParseString(QString& DataString, bool* carriesNumber)
{
    // The argument is left as the cut leaves it, as the caller of this procedure expects.
    return stripReplyValue(DataString, &DataString, carriesNumber);
}

Q_ALWAYS_INLINE bool frmMain::yieldToWindow(bool mayWait, qint64 readStartNs)
{
    // Characters are waiting: unless the window is due, the pass goes on at once (YieldPacer
    // says why that is enough).
    if (!mayWait) {
        switch (m_pacer.shortPass()) {
        case YieldPacer::Yield::None:
            return false;
        case YieldPacer::Yield::ClockRead:
            return true;
        case YieldPacer::Yield::Full:
            break;
        }
    }
    serveWindow(mayWait, readStartNs);
    return true;
}

void frmMain::serveWindow(bool mayWait, qint64 readStartNs)
{
    if (!mayWait || !m_sleepWhenIdle) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_pacer.windowServed();
        return;
    }
    // Nothing is waiting: sleep until a window event, a received byte (the port's notifier is
    // an event source too) or just after the time-out of the read in progress, whichever comes
    // first. The time-out is read afresh on every pass.
    if (readStartNs >= 0) {
        const qint64 deadlineNs = readStartNs + timeoutNs() + 1;
        const qint64 remainingNs = deadlineNs - m_pacer.readClock();
        if (remainingNs <= 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            m_pacer.windowServed();
            return;
        }
        const qint64 remainingMs = (remainingNs + 999'999) / 1'000'000;
        m_wakeTimer.start(static_cast<int>(std::min<qint64>(remainingMs, INT_MAX)));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_wakeTimer.stop();
    m_pacer.windowServed();
}

qint64 frmMain::timeoutNs() const
{
    return qint64(State.TimeoutSeconds) * 1'000'000'000;
}

Q_ALWAYS_INLINE int frmMain::waitingCharacters()
{
    const int waiting = ComPort->InBufferCount();
    if (Q_UNLIKELY(waiting == 0))
        failIfDeviceLost();
    return waiting;
}

void frmMain::failIfDeviceLost()
{
    // A device that went away is a failure once what it sent before has been read.
    if (!ComPort->DeviceLost().isEmpty())
        throw LinkLost(ComPort->DeviceLost());
}

std::optional<QString> frmMain::ReadPortLine()
{
    SerialPortControl* const port = ComPort; // kept at hand: it is asked in every pass
    LineFramer& line = m_framer;
    line.clear();
    const quint64 connection = port->OpenCount();
    qint64 start = -1;    // when the read began, taken at its first pass that needs the time
    bool mayWait = false; // the caller has just seen characters waiting
    for (;;) {
        // A pass whose yield is empty (see YieldPacer) does nothing but take one waiting
        // character and frame it. While such passes are due and the port has characters at
        // hand, they run here, still a character each, with what they touch held in registers
        // rather than in the objects: a character then costs a few instructions.
        if (!mayWait) {
            SerialPortControl::Received at = port->received();
            int passes = m_pacer.emptyPasses();
            if (passes > 0 && at.next != at.end) {
                const int due = passes;
                const bool ended = line.feedEach(at.next, at.end, passes);
                port->consumedUpTo(at.next);
                m_pacer.countEmptyPasses(due - passes);
                if (ended)
                    return line.takeLine();
                // As after a pass that took the last waiting character, or one of several.
                mayWait = port->InBufferCount() == 0;
                continue;
            }
        }
        // The read's start is taken here, at its first pass that may yield or test the
        // time-out: only the empty passes above come before it, a few nanoseconds each, so the
        // read can time out that much late but never early. A line that is all there costs no
        // reading of the clock at all.
        if (start < 0)
            start = m_pacer.readClock();
        // After a short yield only the characters have changed (see YieldPacer): the tests of
        // the connection, of closing and of the time-out would answer as in the pass before.
        const bool changed = yieldToWindow(mayWait && !State.Unloading, start);
        // Reopened under the read (a reconnect), the port delivers a new connection's
        // characters: the old connection's line is over.
        if (changed && port->OpenCount() != connection && port->PortOpen())
            return std::nullopt;
        const int waiting = port->InBufferCount();
        if (waiting > 0) {
            // One character per pass, taken without making a text of it.
            const int received = port->inputChar();
            if (received >= 0 && line.feed(QLatin1Char(char(received))))
                return line.takeLine();
        } else {
            failIfDeviceLost();
            // The program is ending: the rest of this line will not arrive in time.
            if (State.Unloading)
                return std::nullopt;
        }
        mayWait = waiting <= 1;
        // The time-out, read afresh, against the time since the read began: strictly longer.
        if (changed && m_pacer.now() - start > timeoutNs())
            return std::nullopt;
    }
}

void frmMain::addReplyRow(const QString& timeStamp, const QString& reply, bool carriesNumber)
{
    State.CurrentItem = lstResponse->AddRow(timeStamp);
    if (!reply.isEmpty())
        lstResponse->SetResponse(State.CurrentItem, reply);
    // The "0" of a reply without a digit is shown as Strip Data writes it, but it is no reading.
    if (!carriesNumber)
        lstResponse->model().markWithoutNumber(State.CurrentItem - 1); // counted from 0 there
    lstResponse->EnsureVisible(State.CurrentItem);
    State.CurrentItem = TerminalState::NoRow;
}

void frmMain::handleReplyLine(QString reply)
{
    bool carriesNumber = true; // unstripped, the chart judges the reply by its text alone
    if (isSet(chkStrip))
        reply = ParseString(reply, &carriesNumber);
    const bool withTimeStamp = isSet(chkTimeStamp);
    const QString stamp = withTimeStamp ? timeStampText(localNow(), m_stampSeparators) : QString();
    if (State.VisualOutput) {
        addReplyRow(stamp, reply, carriesNumber);
        return;
    }
    const QString failure =
        appendLineToFile(State.StreamFileName, streamLine(stamp, withTimeStamp, reply));
    m_pacer.timeMayHavePassed();
    if (!failure.isEmpty()) {
        // The line is kept in the log rather than lost.
        addReplyRow(stamp, reply, carriesNumber);
        throw StreamError(streamFailureText(State.StreamFileName, failure));
    }
}

void frmMain::StartCheckingPort()
{
    // A connect made while a loop is already running (a reconnect handled inside its yield)
    // leaves the polling to that loop, which goes on with the port just opened.
    if (m_polling)
        return;
    m_polling = true;
    // While the loop reads, the port keeps every byte that comes; once nobody reads, it holds
    // a bounded amount again.
    ComPort->setInBufferSize(0);
    const auto stopPolling = [this] {
        m_polling = false;
        ComPort->setInBufferSize(SerialPortControl::DefaultInBufferSize);
    };
    bool mayWait = false;
    try {
        for (;;) {
            yieldToWindow(mayWait);
            const int waiting = waitingCharacters();
            if (waiting > 0) {
                const quint64 lineStart = ComPort->readTotal();
                std::optional<QString> line = ReadPortLine();
                // A read given up because the program is ending logs nothing.
                if (line || !State.Unloading) {
                    // A measurement run pairs the line as read, after it is logged, and learns
                    // when its line feed came.
                    const bool run = m_runSession != nullptr;
                    const qint64 atNs = run ? m_runClock.nowNs() : 0;
                    const qint64 atWallMs = run ? m_runClock.wallMs() : 0;
                    try {
                        handleReplyLine(!line ? QString() : run ? *line : std::move(*line));
                    } catch (const StreamError& failure) {
                        streamFailed(failure.description());
                    }
                    if (run)
                        runLineArrived(lineStart, atNs, atWallMs, line);
                }
            }
            mayWait = waiting == 0;
            if (State.Unloading) {
                stopPolling();
                endProgramAfterClose();
                return;
            }
            if (!State.CheckingPort)
                break;
        }
    } catch (const Failure& failure) {
        // The port failed (the device is gone, mostly): the loop stops, and the window shows the
        // disconnected state, from which one press of Connect connects again. No loop ends with
        // the port left open.
        stopPolling();
        // A measurement run outlives a lost device: it says so and waits to reconnect.
        if (m_runSession && m_runSession->hasBegun() && m_runSession->isRunning())
            runLinkLost(failure.description());
        else
            showMessage(QMessageBox::Warning, QStringLiteral("Error"), failure.description());
        // The window may have been closed while the message was up.
        if (State.Unloading) {
            endProgramAfterClose();
            return;
        }
        if (cmdConnect->text() == kDisconnectCaption)
            disconnectSequence();
        return;
    }
    stopPolling();
    if (ComPort->PortOpen())
        ComPort->setPortOpen(false);
}

void frmMain::streamFailed(const QString& description)
{
    // The line is in the log already. Streaming goes off as if the user had cleared the box,
    // and the loop goes on, so that the replies that follow are logged rather than lost.
    showMessage(QMessageBox::Warning, QStringLiteral("Error"), description);
    chkStream->setChecked(false);
}

QDateTime frmMain::localNow() const
{
    return m_localClock ? m_localClock() : QDateTime::currentDateTime();
}

void frmMain::endProgramAfterClose()
{
    // While streaming, the complete lines already received still go to the file; in the log
    // they would be gone with the window anyway.
    if (!State.VisualOutput) {
        LineFramer line;
        try {
            while (ComPort->InBufferCount() > 0) {
                if (line.feed(ComPort->Input().at(0)))
                    handleReplyLine(line.takeLine());
            }
        } catch (const Failure&) {
            // The program is ending; there is nobody left to tell.
        }
    }
    if (ComPort->PortOpen())
        ComPort->setPortOpen(false);
    m_endedProgram = true;
    emit programEnded();
}
