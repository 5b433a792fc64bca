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

#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class ChartWindow;
class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ResponseListView;
class SerialPortControl;
class UpDown;

// The terminal's one window: its 22 controls, the state its handlers share, and the handlers.
// The port polling loop runs inside the Connect handler and lets every other handler run inside
// its yields to the event loop.
class frmMain : public QWidget {
    Q_OBJECT
public:
    // Shows a modal message; tests replace it so that no box waits for a click.
    using MessageSink =
        std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;
    // The local date and time; tests replace it to stamp with a fixed time.
    using LocalClock = std::function<QDateTime()>;

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

    // The window's public procedures.
    void StartCheckingPort();
    QString ParseString(QString& DataString);

    TerminalState& state() { return State; }
    const TerminalState& state() const { return State; }
    void setMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
    void setLocalClock(LocalClock clock) { m_localClock = std::move(clock); }
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
    QFileDialog* FileName = nullptr;
    QCheckBox* chkStrip = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClear = nullptr;
    QCheckBox* chkStream = nullptr;
    QCheckBox* chkTimeStamp = nullptr;
    ResponseListView* lstResponse = nullptr;
    // "Chart of Readings…" (Ctrl+G anywhere in the window, and in the log's context menu).
    QAction* mnuChart = nullptr;

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
    void showMessage(QMessageBox::Icon icon, const QString& title, const QString& text);

    // Connection.
    void connectSequence();
    void disconnectSequence();
    void queueConnectPress();
    void reconnectIfConnected();
    QString portToolTip() const;

    // Exchange.
    std::optional<QString> ReadPortLine();
    bool yieldToWindow(bool mayWait, qint64 readStartNs = -1);
    void serveWindow(bool mayWait, qint64 readStartNs);
    qint64 timeoutNs() const;
    int waitingCharacters();
    void failIfDeviceLost();
    void handleReplyLine(QString reply);
    void streamFailed(const QString& description);
    void addReplyRow(const QString& timeStamp, const QString& reply);
    void endProgramAfterClose();
    QDateTime localNow() const;

    // Log and files.
    QString AskFileName(bool replacesFile); // asks before replacing a file only if it will
    QStringList showFilePrompt();           // runs the prompt's dialog, then ends it
    void addNoticeRow(const QString& notice);
    void createChartCommand();

    TerminalState State;
    MessageSink m_messageSink;
    LocalClock m_localClock;
    TimeStampSeparators m_stampSeparators; // of the window's locale
    QTimer m_wakeTimer;
    YieldPacer m_pacer;   // paces the loop's yields; time base of the reply time-out
    LineFramer m_framer;  // the reply line being read; its storage serves line after line
    QString m_chosenFile; // the name chosen at the last file prompt
    QPointer<ChartWindow> m_chart;
    bool m_polling = false;
    bool m_sleepWhenIdle = true;
    bool m_endedProgram = false;
};
