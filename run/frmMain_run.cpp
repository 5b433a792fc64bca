// The terminal's part of a measurement run: the command "Measurement Run…" (Ctrl+R and the
// log's context menu) that opens the run window, what its buttons do, and how a run meets the
// connection, the polling loop and sending.

#include "app/Captions.h"
#include "app/Defaults.h"
#include "app/UpDown.h"
#include "app/frmMain.h"
#include "chart/ChartPlacement.h"
#include "log/ResponseListView.h"
#include "log/TextFiles.h"
#include "run/ModalWatch.h"
#include "run/RunDefinition.h"
#include "run/RunSession.h"
#include "run/RunWindow.h"
#include "serial/PortNames.h"
#include "serial/SerialPortControl.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimeZone>
#include <QTimer>

namespace {

const QString kRunTitle = QStringLiteral("Measurement Run");

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

} // namespace

void frmMain::createRunCommand()
{
    mnuRun = new QAction(QStringLiteral("Measurement Run\u2026"), this);
    mnuRun->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuRun->setShortcutContext(Qt::WindowShortcut);
    mnuRun->setShortcutVisibleInContextMenu(true);
    addAction(mnuRun);
    lstResponse->addAction(mnuRun); // offered in the log's context menu
    connect(mnuRun, &QAction::triggered, this, &frmMain::mnuRun_Click);
}

RunWindow* frmMain::runWindow()
{
    if (!m_runWindow) {
        // A window of its own beside the terminal, not one kept above it.
        m_runWindow = new RunWindow();
        m_runWindow->setWindowIcon(windowIcon());
        connect(m_runWindow, &RunWindow::startClicked, this, &frmMain::startStopRun);
        connect(m_runWindow, &RunWindow::browseClicked, this, &frmMain::browseRunFile);
        connect(m_runWindow, &RunWindow::openClicked, this, &frmMain::openRunDefinition);
        connect(m_runWindow, &RunWindow::saveClicked, this, &frmMain::saveRunDefinition);
        showRunStatus(false);
    }
    return m_runWindow;
}

void frmMain::mnuRun_Click()
{
    RunWindow* window = runWindow();
    if (!window->isVisible()) {
        // Beside the terminal where the screen has room, otherwise clear of the log as far as
        // the screen allows.
        window->adjustSize();
        if (const QScreen* shown = screen()) {
            const QSize size = window->frameGeometry().size();
            const QRect log(lstResponse->mapToGlobal(QPoint()), lstResponse->size());
            window->move(
                besideTerminalFrame(shown->availableGeometry(), frameGeometry(), log, size, size)
                    .topLeft());
        }
        window->show();
    }
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

void frmMain::applyRunSettings(const RunDefinition& definition)
{
    const int port = cboPort->findText(QStringLiteral("COM %1").arg(definition.port));
    if (port >= 0)
        cboPort->setCurrentIndex(port);
    const int rate = cboBaudRate->findText(definition.baudRate);
    if (rate >= 0)
        cboBaudRate->setCurrentIndex(rate);
    spnTimeout->setValue(definition.timeoutSeconds);
}

void frmMain::startStopRun()
{
    if (m_runSession) {
        endRun(RunEnd::StopPressed);
        return;
    }
    RunDefinition definition;
    if (runDefinitionFromWindow(&definition))
        startRun(definition, false);
}

bool frmMain::runDefinitionFromWindow(RunDefinition* definition)
{
    RunWindow* window = runWindow();
    definition->port = PortNames::portNumberOf(cboPort->currentText());
    definition->baudRate = cboBaudRate->currentText();
    definition->timeoutSeconds = State.TimeoutSeconds;
    const QString refusal = window->readDefinition(definition);
    if (!refusal.isEmpty()) {
        showMessage(QMessageBox::Warning, kRunTitle, refusal, window);
        return false;
    }
    // A name without a folder lands where the file prompts start.
    if (QFileInfo(definition->csvFile).isRelative()) {
        definition->csvFile =
            QDir::toNativeSeparators(QDir(promptFolder(QCoreApplication::applicationDirPath()))
                                         .absoluteFilePath(definition->csvFile));
        window->txtCsvFile->setText(definition->csvFile);
    }
    return true;
}

bool frmMain::startRun(const RunDefinition& definition, bool unattended)
{
    if (m_runSession)
        return false;
    RunWindow* window = runWindow();
    m_runUnattended = unattended;
    m_runNotStarted.clear();
    m_runFault.clear();
    RunTerminal& terminal = *this;
    auto session =
        // The time column follows the computer's local time, also when its zone is changed.
        std::make_unique<RunSession>(definition, terminal, m_runClock, QTimeZone());
    const QString problem = session->openFile();
    if (!problem.isEmpty()) {
        m_runNotStarted = problem;
        showRunStatus(true);
        if (!unattended)
            showMessage(QMessageBox::Warning, kRunTitle, problem, window);
        return false;
    }
    connect(session.get(), &RunSession::changed, this, [this] { showRunStatus(false); });
    connect(session.get(), &RunSession::fault, this, [this] { showRunStatus(true); });
    connect(session.get(), &RunSession::ended, this, &frmMain::runEnded);
    connect(session.get(), &RunSession::reconnectDue, this, &frmMain::tryRunReconnect);
    m_lastRun.reset();
    m_runSession = std::move(session);
    window->setRunning(true);
    if (m_polling && cmdConnect->text() == kDisconnectCaption) {
        beginPendingRun();
    } else {
        showRunStatus(false);
        // The connect runs the polling loop inside it, so it is made from the event loop once
        // this handler has returned, never from inside a modal dialog's loop.
        QMetaObject::invokeMethod(this, &frmMain::connectForRun, Qt::QueuedConnection);
    }
    return true;
}

void frmMain::connectForRun()
{
    if (!m_runSession || m_runSession->hasBegun())
        return;
    if (ModalWatch::anyOpen()) {
        QTimer::singleShot(100, this, &frmMain::connectForRun);
        return;
    }
    if (cmdConnect->text() == kDisconnectCaption) {
        beginPendingRun();
        return;
    }
    cmdConnect_Click();
}

void frmMain::beginPendingRun()
{
    if (!m_runSession || m_runSession->hasBegun())
        return;
    m_runSession->begin(ComPort->portLabel());
    showRunStatus(true);
}

void frmMain::failPendingRun(const QString& description, bool mayRetry)
{
    if (!m_runSession || m_runSession->hasBegun())
        return;
    m_runNotStarted = description;
    // Started from the command line, the run waits for its port as it would for a lost device.
    if (mayRetry && m_runUnattended) {
        m_runSession->keepReconnecting(true);
        showRunStatus(true);
        return;
    }
    m_runSession->discard();
    m_runSession.reset();
    if (m_runWindow)
        m_runWindow->setRunning(false);
    showRunStatus(true);
}

void frmMain::endRun(RunEnd end, const QString& detail)
{
    if (!m_runSession)
        return;
    if (!m_runSession->hasBegun()) {
        failPendingRun(QStringLiteral("Stop was pressed before the connection was made."), false);
        return;
    }
    m_runSession->stop(end, detail);
}

void frmMain::runEnded()
{
    // The session may be the sender of this signal: it is kept, for its figures, until the
    // next run.
    m_lastRun = std::move(m_runSession);
    const QStringList unsent = m_lastRun->takeUnsent();
    if (m_runWindow)
        m_runWindow->setRunning(false);
    showRunStatus(true);
    if (m_lastRun->unsavedFailed())
        QMetaObject::invokeMethod(this, &frmMain::saveUnwrittenRows, Qt::QueuedConnection);
    // Commands typed during the run that had not had their turn go out now, as Send sends them.
    if (m_polling && cmdConnect->text() == kDisconnectCaption && !State.Unloading) {
        for (const QString& command : unsent) {
            QString failure;
            if (!sendLine(command, &failure))
                break;
        }
    }
}

std::optional<quint64> frmMain::sendCommand(const QString& command, QString* failure)
{
    return sendLine(command, failure);
}

void frmMain::runNotice(const QString& text)
{
    // Into the log as a notice row, into the CSV file, and into the status line.
    addNoticeRow(text);
    m_runFault = text;
    m_runSession->notice(text);
    showRunStatus(true);
}

void frmMain::runLinkLost(const QString& description)
{
    addNoticeRow(description);
    m_runFault = description;
    m_runSession->linkLost(description);
    showRunStatus(true);
}

void frmMain::tryRunReconnect()
{
    if (!m_runSession || cmdConnect->text() == kDisconnectCaption || State.Unloading)
        return;
    // Never from inside a modal dialog's loop: the next try comes soon enough.
    if (ModalWatch::anyOpen())
        return;
    // A try that fails touches no control and says nothing; only one that opens the port
    // runs the connect sequence.
    try {
        ComPort->setCommPort(PortNames::portNumberOf(cboPort->currentText()));
        ComPort->setSettings(cboBaudRate->currentText() + kLineFraming);
        ComPort->setPortOpen(true);
        ComPort->setPortOpen(false);
    } catch (const PortError& failure) {
        if (!m_runSession->hasBegun() && failure.description() != m_runNotStarted) {
            m_runNotStarted = failure.description();
            showRunStatus(false);
        }
        return;
    }
    m_runSession->keepReconnecting(false);
    cmdConnect_Click();
}

void frmMain::saveUnwrittenRows()
{
    // Neither beside the CSV file nor in the documents folder: the user says where, once.
    if (!m_lastRun || !m_lastRun->unsavedFailed())
        return;
    FilePrompt prompt;
    prompt.title = QStringLiteral("Save the Rows That Could Not Be Written");
    prompt.nameFilter = QStringLiteral("CSV files (*.csv)");
    prompt.defaultSuffix = QStringLiteral("csv");
    prompt.folder = promptFolder(QCoreApplication::applicationDirPath());
    prompt.offeredName = m_lastRun->writer().unsavedName();
    const QString chosen = prompt.ask(m_runWindow);
    const QString failure = chosen.isEmpty() ? QStringLiteral("no file was chosen")
                                             : m_lastRun->saveUnwrittenTo(chosen);
    showRunStatus(true);
    if (!failure.isEmpty())
        showMessage(QMessageBox::Warning, kRunTitle,
                    QStringLiteral("%1 rows of the measurement run could not be written: %2.")
                        .arg(m_lastRun->writer().waiting())
                        .arg(failure),
                    m_runWindow);
}

void frmMain::runLineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                             const std::optional<QString>& line)
{
    if (m_runSession && m_runSession->isRunning())
        m_runSession->lineArrived(startPosition, atNs, atWallMs, line);
}

void frmMain::showRunStatus(bool announce)
{
    if (!m_runWindow)
        return;
    const RunSession* session = m_runSession ? m_runSession.get() : m_lastRun.get();
    QString text;
    if (!m_runNotStarted.isEmpty() && !m_runSession) {
        text = QStringLiteral("Not started: %1").arg(m_runNotStarted);
    } else if (!session) {
        text = QStringLiteral("No run yet.");
    } else if (!session->hasBegun()) {
        text = m_runNotStarted.isEmpty()
                   ? QStringLiteral("Connecting to COM %1 at %2 baud\u2026")
                         .arg(session->definition().port)
                         .arg(session->definition().baudRate)
                   : QStringLiteral("Waiting for the port: %1 Trying again every 2 s.")
                         .arg(m_runNotStarted);
    } else {
        const MeasurementRun::Counts& counts = session->run().counts();
        text = session->isRunning()
                   ? QStringLiteral("Running: ")
                   : QStringLiteral("Stopped (%1): ").arg(session->run().endText());
        text += QStringLiteral("%1 cycles done, %2 replies, %3 no replies.")
                    .arg(counts.cyclesDone)
                    .arg(counts.replies)
                    .arg(counts.noReplies);
        if (counts.lastReplyWallMs >= 0)
            text +=
                QStringLiteral(" Last reply \"%1\" at %2.")
                    .arg(counts.lastReply, QDateTime::fromMSecsSinceEpoch(counts.lastReplyWallMs)
                                               .toString(QStringLiteral("HH:mm:ss")));
        text += QStringLiteral(" CSV file: %1.").arg(fileName(session->csvPath()));
        if (session->isRunning() && session->isLinkDown())
            text += QStringLiteral(" Waiting for the device to come back: %1 Trying again every "
                                   "2 s.")
                        .arg(m_runFault);
        else if (session->isRunning() && !m_runFault.isEmpty())
            text += QStringLiteral(" Last notice: %1").arg(m_runFault);
        if (const int waiting = session->writer().waiting())
            text += QStringLiteral(" %1 rows wait to be written: %2.")
                        .arg(waiting)
                        .arg(session->writer().failure());
        if (!session->unsavedPath().isEmpty())
            text += QStringLiteral(" The rows that could not be written are in %1.")
                        .arg(session->unsavedPath());
    }
    m_runWindow->setStatus(text, announce);
}

namespace {

// A prompt for a run's file, starting where the terminal's other prompts start.
QString askRunFile(QWidget* parent, const QString& title, const QString& filter,
                   const QString& suffix, bool forOpening, bool confirmOverwrite,
                   const QString& offered)
{
    FilePrompt prompt;
    prompt.title = title;
    prompt.nameFilter = filter;
    prompt.defaultSuffix = suffix;
    prompt.folder = promptFolder(QCoreApplication::applicationDirPath());
    prompt.offeredName = offered;
    prompt.confirmOverwrite = confirmOverwrite;
    prompt.forOpening = forOpening;
    return prompt.ask(parent);
}

} // namespace

void frmMain::browseRunFile()
{
    const QString offered =
        !m_chosenRunFile.isEmpty()
            ? m_chosenRunFile
            : QStringLiteral("bvterm-run-%1.csv")
                  .arg(localNow().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    const QString chosen = askRunFile(m_runWindow, QStringLiteral("Measurement Run CSV File"),
                                      QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"),
                                      false, false, offered);
    if (chosen.isEmpty())
        return;
    m_chosenRunFile = chosen;
    m_runWindow->txtCsvFile->setText(chosen);
}

void frmMain::openRunDefinition()
{
    const QString chosen = askRunFile(m_runWindow, QStringLiteral("Open Run Definition"),
                                      QStringLiteral("Run definitions (*.ini)"),
                                      QStringLiteral("ini"), true, false, m_chosenDefinition);
    if (chosen.isEmpty())
        return;
    m_chosenDefinition = chosen;
    RunDefinition definition;
    const QString error = RunDefinitionFile::read(
        chosen,
        [](int port) { return PortNames::listedPorts(PortNames::systemPorts(), 0).contains(port); },
        &definition);
    if (!error.isEmpty()) {
        showMessage(QMessageBox::Warning, kRunTitle, error, m_runWindow);
        return;
    }
    applyRunSettings(definition);
    m_runWindow->showDefinition(definition);
}

void frmMain::saveRunDefinition()
{
    RunDefinition definition;
    if (!runDefinitionFromWindow(&definition))
        return;
    const QString chosen = askRunFile(m_runWindow, QStringLiteral("Save Run Definition"),
                                      QStringLiteral("Run definitions (*.ini)"),
                                      QStringLiteral("ini"), false, true, m_chosenDefinition);
    if (chosen.isEmpty())
        return;
    m_chosenDefinition = chosen;
    const QString failure = RunDefinitionFile::write(chosen, definition);
    if (!failure.isEmpty())
        showMessage(
            QMessageBox::Warning, kRunTitle,
            QStringLiteral("The run definition could not be saved to %1: %2.").arg(chosen, failure),
            m_runWindow);
}
