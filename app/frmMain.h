#pragma once

// Names: the window, its controls, their handlers (control_Event), the window's procedures,
// TerminalState and the serial port control's operations (CommPort, PortOpen, InBufferCount,
// Input, Output) keep the names the terminal has always had, so that a handler can be found
// from the control and the event it serves. Everything else is named in Qt's style: classes
// such as ResponseListView in CamelCase, functions and members in camelCase, members with "m_".

#include "TerminalState.h"
#include "exchange/LineFramer.h"
#include "exchange/TimeStamp.h"
#include "exchange/YieldPacer.h"
#include "log/FilePrompt.h"
#include "run/MeasurementRun.h"
#include "run/RunClock.h"

#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class ChartWindow;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ResponseListView;
class RunSession;
class RunWindow;
class SerialPortControl;
struct RunDefinition;
class UpDown;

// The terminal's one window: its 22 controls, the state its handlers share, and the handlers.
// The port polling loop runs inside the Connect handler and lets every other handler run inside
// its yields to the event loop.
class frmMain : public QWidget, private RunTerminal {
    Q_OBJECT
public:
    // Shows a modal message; tests replace it so that no box waits for a click.
    using MessageSink =
        std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;
    // The local date and time; tests replace it to stamp with a fixed time.
    using LocalClock = std::function<QDateTime()>;
    // The names of the system's serial ports ("COM13"), read for the port list; tests replace
    // it.
    using PortSource = std::function<QStringList()>;

    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Window events.
    void Form_Load();
    void Form_QueryUnload(qint16& Cancel, qint16 UnloadMode);
    void Form_Unload(qint16& Cancel);
    void Form_Resize();
    void Form_Paint();

    // Control events.
    void cmdConnect_Click();
    void cboPort_Click();
    void cboBaudRate_Click();
    void spnTimeout_Change();
    void cmdSend_Click();
    void txtcmd_KeyPress(qint16& KeyAscii);
    void cmdClear_Click();
    void chkStream_Click();
    void cmdSave_Click();
    void cmdCommandList_Click();
    void mnuChart_Click();
    void mnuRun_Click();

    // The window's public procedures.
    void StartCheckingPort();
    // `carriesNumber`, when given, tells whether a digit was read (see stripReplyValue).
    QString ParseString(QString& DataString, bool* carriesNumber = nullptr);

    TerminalState& state() { return State; }
    const TerminalState& state() const { return State; }
    void setMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
    void setLocalClock(LocalClock clock) { m_localClock = std::move(clock); }
    void setPortSource(PortSource source) { m_portSource = std::move(source); }
    // True while a polling loop is running inside a Connect handler.
    bool isPolling() const { return m_polling; }
    // True once the polling loop has ended the program after a close request.
    bool hasEndedProgram() const { return m_endedProgram; }
    // While nothing is waiting the polling loop sleeps until something happens; switched off,
    // it polls without pause (only to measure what the sleeping saves).
    void setSleepWhenIdle(bool sleep) { m_sleepWhenIdle = sleep; }
    // The chart of readings while it is open.
    ChartWindow* chartWindow() const;
    // The font of this window, which the program gives all its windows: a face with the metrics
    // the fixed layout was drawn for, at a size in device-independent pixels so that it scales
    // together with the geometry.
    static QFont windowFont();

    // Measurement runs. The run window, made on first use.
    RunWindow* runWindow();
    // The run that goes on, or is about to once connected; null when there is none.
    RunSession* runSession() const { return m_runSession.get(); }
    // Starts a run as Start does: connects first when disconnected. Unattended (started from
    // the command line), nothing waits for a click: what would be a message shows in the run
    // window. False when the run was refused (the reason is shown).
    bool startRun(const RunDefinition& definition, bool unattended);
    // Sets the port, the rate and the reply time-out to a run definition's.
    void applyRunSettings(const RunDefinition& definition);

signals:
    // The polling loop has closed the port after a close request: the program is to end now.
    void programEnded();

public:
    // The controls, in the order in which the window holds them.
    SerialPortControl* ComPort = nullptr;
    QGroupBox* Frame2 = nullptr;
    QComboBox* txtcmd = nullptr;
    QPushButton* cmdCommandList = nullptr;
    QPushButton* cmdConnect = nullptr;
    UpDown* spnTimeout = nullptr;
    QLineEdit* txtTimeout = nullptr;
    QComboBox* cboBaudRate = nullptr;
    QComboBox* cboPort = nullptr;
    QPushButton* cmdSend = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    FilePrompt FileName; // the file prompt; it offers the name chosen last
    QCheckBox* chkStrip = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClear = nullptr;
    QCheckBox* chkStream = nullptr;
    QCheckBox* chkTimeStamp = nullptr;
    ResponseListView* lstResponse = nullptr;
    // "Chart of Readings…" (Ctrl+G anywhere in the window, and in the log's context menu).
    QAction* mnuChart = nullptr;
    // "Measurement Run…" (Ctrl+R anywhere in the window, and in the log's context menu).
    QAction* mnuRun = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void setTabOrder();
    void wireEvents();
    void showMessage(QMessageBox::Icon icon, const QString& title, const QString& text,
                     QWidget* over = nullptr);

    // Connection.
    void connectSequence();
    void disconnectSequence();
    void queueConnectPress();
    void reconnectIfConnected();
    QString portToolTip() const;
    QStringList systemPorts() const;
    void refreshPortList();

    // Exchange.
    std::optional<QString> ReadPortLine();
    bool yieldToWindow(bool mayWait, qint64 readStartNs = -1);
    void serveWindow(bool mayWait, qint64 readStartNs);
    qint64 timeoutNs() const;
    int waitingCharacters();
    void failIfDeviceLost();
    void handleReplyLine(QString reply);
    void streamFailed(const QString& description);
    void addReplyRow(const QString& timeStamp, const QString& reply, bool carriesNumber);
    void endProgramAfterClose();
    QDateTime localNow() const;

    // Log and files.
    QString AskFileName(bool replacesFile); // asks before replacing a file only if it will
    void addNoticeRow(const QString& notice);
    void createChartCommand();

    // Measurement runs.
    void createRunCommand();
    std::optional<quint64> sendCommand(const QString& command, QString* failure) override;
    std::optional<quint64> sendLine(const QString& command, QString* failure);
    void connectForRun();
    void beginPendingRun();
    void failPendingRun(const QString& description, bool mayRetry = true);
    void endRun(RunEnd end, const QString& detail = QString());
    void runEnded();
    void showRunStatus(bool announce);
    void startStopRun();
    bool runDefinitionFromWindow(RunDefinition* definition);
    void browseRunFile();
    void openRunDefinition();
    void saveRunDefinition();
    void runLineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                        const std::optional<QString>& line);
    void runNotice(const QString& text);
    void runLinkLost(const QString& description);
    void tryRunReconnect();
    void saveUnwrittenRows();

    TerminalState State;
    MessageSink m_messageSink;
    LocalClock m_localClock;
    PortSource m_portSource;
    TimeStampSeparators m_stampSeparators; // of the window's locale
    QTimer m_wakeTimer;
    YieldPacer m_pacer;  // paces the loop's yields; time base of the reply time-out
    LineFramer m_framer; // the reply line being read; its storage serves line after line
    QPointer<ChartWindow> m_chart;
    RunClock m_runClock;
    std::unique_ptr<RunSession> m_runSession;
    std::unique_ptr<RunSession> m_lastRun; // the run that ended last, for its figures
    QPointer<RunWindow> m_runWindow;
    bool m_runUnattended = false;
    QString m_runNotStarted;    // why the last run could not start (or has not yet)
    QString m_runFault;         // what the run's last notice said
    QString m_chosenRunFile;    // the name chosen at the last CSV file prompt
    QString m_chosenDefinition; // the name chosen at the last run definition prompt
    bool m_polling = false;
    bool m_sleepWhenIdle = true;
    bool m_endedProgram = false;
};
