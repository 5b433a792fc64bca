#include "frmMain.h"

#include "Captions.h"
#include "Defaults.h"
#include "Geometry.h"
#include "UpDown.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"
#include "run/MeasurementRun.h"
#include "run/RunSession.h"
#include "run/RunWindow.h"
#include "serial/PortList.h"
#include "serial/PortNames.h"
#include "serial/SerialPortControl.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kTitle = QStringLiteral("Baroventis\u00ae Terminal Ver 1.0");

// Design size of the client area in twips.
constexpr int ClientWidthTwips = 9480;
constexpr int ClientHeightTwips = 6375;

template <typename W> W* place(W* widget, const QRect& twips)
{
    widget->setGeometry(twips);
    return widget;
}

} // namespace

QFont frmMain::windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(10);
    return font;
}

// The icons are compiled into the library; a static library must register them itself.
static void registerResources()
{
    Q_INIT_RESOURCE(bvterm);
}

frmMain::frmMain(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(kTitle);
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                            Qt::WindowCloseButtonHint;
#ifdef Q_OS_WIN
    // A frame without a sizing border: Windows offers no maximizing then (no button, no snap to
    // the screen's edge), and neither does a window manager under Wine.
    flags |= Qt::MSWindowsFixedSizeDialogHint;
#endif
    setWindowFlags(flags);
    // The window keeps its design size; the user cannot resize or maximize it.
    setFixedSize(twipsToPixels(ClientWidthTwips), twipsToPixels(ClientHeightTwips));
    registerResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/bvterm/icons/bvterm-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/bvterm/icons/bvterm-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    setFont(windowFont());

    m_stampSeparators = timeStampSeparators(locale());
    m_wakeTimer.setSingleShot(true);
    m_wakeTimer.setTimerType(Qt::PreciseTimer);

    createControls();
    setTabOrder();
    wireEvents();
    Form_Load();
}

frmMain::~frmMain()
{
    // The run window is a window of its own and goes with the terminal.
    delete m_runWindow;
    // The chart reads this window's log: it goes first.
    delete m_chart;
}

void frmMain::createControls()
{
    ComPort = new SerialPortControl(this);

    Frame2 = place(new QGroupBox(QStringLiteral("Command and Settings"), this),
                   twipsRect(60, 4800, 9345, 1335));
    txtcmd = place(new QComboBox(Frame2), twipsRect(1005, 300, 6585, 315));
    txtcmd->setEditable(true);
    txtcmd->setInsertPolicy(QComboBox::NoInsert); // Enter appends the command itself
    txtcmd->setDuplicatesEnabled(true);
    txtcmd->setCompleter(nullptr); // no completion: a command is sent exactly as typed
    txtcmd->setEditText(kCommandPrompt);
    txtcmd->setEnabled(false);
    cmdCommandList = place(new QPushButton(QStringLiteral("&Reference"), Frame2),
                           twipsRect(7665, 780, 1500, 390));
    cmdConnect =
        place(new QPushButton(QStringLiteral("Co&nnect"), Frame2), twipsRect(5970, 780, 1650, 390));
    spnTimeout = place(new UpDown(Frame2), twipsRect(5625, 825, 240, 345));
    txtTimeout = place(new QLineEdit(QString::number(DefaultTimeoutSeconds), Frame2),
                       twipsRect(5010, 840, 600, 315));
    txtTimeout->setReadOnly(true);
    txtTimeout->setFocusPolicy(Qt::ClickFocus);
    QPalette buttonFace = txtTimeout->palette();
    buttonFace.setColor(QPalette::Base, buttonFace.color(QPalette::Button));
    txtTimeout->setPalette(buttonFace);
    spnTimeout->setRange(MinimumTimeoutSeconds, MaximumTimeoutSeconds);
    spnTimeout->setSingleStep(1);
    spnTimeout->setValue(DefaultTimeoutSeconds);
    spnTimeout->setBuddy(txtTimeout);
    cboBaudRate = place(new QComboBox(Frame2), twipsRect(2895, 825, 990, 315));
    cboPort = place(new PortList(Frame2), twipsRect(1005, 825, 1005, 315));
    cmdSend =
        place(new QPushButton(QStringLiteral("&Send"), Frame2), twipsRect(7650, 285, 1500, 390));
    cmdSend->setEnabled(false);
    Label5 =
        place(new QLabel(QStringLiteral("Baud Rate:"), Frame2), twipsRect(2055, 870, 855, 300));
    Label4 = place(new QLabel(QStringLiteral("Com Port:"), Frame2), twipsRect(165, 840, 765, 300));
    Label3 = place(new QLabel(QStringLiteral("Timeout (Sec):"), Frame2),
                   twipsRect(3930, 885, 1050, 300));
    Label1 = place(new QLabel(QStringLiteral("Command:"), Frame2), twipsRect(180, 345, 855, 300));
    for (QLabel* label : {Label5, Label4, Label3, Label1})
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Each label names the box beside it for assistive technology. Their captions hold no "&",
    // so they give no access key.
    Label1->setBuddy(txtcmd);
    Label4->setBuddy(cboPort);
    Label5->setBuddy(cboBaudRate);
    Label3->setBuddy(txtTimeout);

    Frame1 = place(new QGroupBox(QStringLiteral("Response"), this), twipsRect(60, 30, 9345, 4635));
    chkStrip = place(new QCheckBox(QStringLiteral("Str&ip Data"), Frame1),
                     twipsRect(1590, 4290, 1110, 270));
    cmdSave =
        place(new QPushButton(QStringLiteral("S&ave"), Frame1), twipsRect(7905, 4155, 1350, 390));
    cmdSave->setEnabled(false);
    cmdClear =
        place(new QPushButton(QStringLiteral("&Clear"), Frame1), twipsRect(6420, 4155, 1350, 390));
    cmdClear->setEnabled(false);
    chkStream = place(new QCheckBox(QStringLiteral("Stream to a File (No Visual Output)"), Frame1),
                      twipsRect(2985, 4260, 2760, 315));
    chkTimeStamp = place(new QCheckBox(QStringLiteral("&Time Stamp"), Frame1),
                         twipsRect(150, 4290, 1515, 270));
    lstResponse = place(new ResponseListView(Frame1), twipsRect(105, 225, 9135, 3885));
    lstResponse->header()->resizeSection(0, twipsToPixels(1440));
    lstResponse->header()->resizeSection(1, twipsToPixels(1440));

    // Enter on a focused button presses it, as the list handlers' reconnect and keyboard users
    // rely on; no button is the window's default.
    for (QPushButton* button : {cmdCommandList, cmdConnect, cmdSend, cmdSave, cmdClear})
        button->setAutoDefault(true);
}

void frmMain::setTabOrder()
{
    const QWidget* chain[] = {txtcmd,     cmdSend,        cboPort,      cboBaudRate, spnTimeout,
                              cmdConnect, cmdCommandList, chkTimeStamp, chkStrip,    chkStream,
                              cmdClear,   cmdSave,        lstResponse};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(chain[i]), const_cast<QWidget*>(chain[i + 1]));
    // txtcmd and Send start disabled, so the focus starts in the port list.
    cboPort->setFocus();
}

void frmMain::wireEvents()
{
    connect(cmdConnect, &QPushButton::clicked, this, &frmMain::cmdConnect_Click);
    connect(cboPort, &QComboBox::currentIndexChanged, this, &frmMain::cboPort_Click);
    connect(static_cast<PortList*>(cboPort), &PortList::aboutToShowPopup, this,
            &frmMain::refreshPortList);
    connect(cboBaudRate, &QComboBox::currentIndexChanged, this, &frmMain::cboBaudRate_Click);
    connect(spnTimeout, &UpDown::valueChanged, this, &frmMain::spnTimeout_Change);
    connect(cmdSend, &QPushButton::clicked, this, &frmMain::cmdSend_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(chkStream, &QCheckBox::toggled, this, &frmMain::chkStream_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdCommandList, &QPushButton::clicked, this, &frmMain::cmdCommandList_Click);
    createChartCommand();
    createRunCommand();
    // Key presses of the command box, and tool tips of the port list.
    txtcmd->installEventFilter(this);
    txtcmd->lineEdit()->installEventFilter(this);
    cboPort->installEventFilter(this);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == txtcmd || watched == txtcmd->lineEdit())) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter || !key->text().isEmpty()) {
            qint16 keyAscii =
                enter ? EnterKeyCode : static_cast<qint16>(key->text().at(0).unicode());
            txtcmd_KeyPress(keyAscii);
        }
        // Enter is finished here: the box inserts nothing, and no default button exists.
        return enter;
    }
    if (event->type() == QEvent::ToolTip && watched == cboPort)
        cboPort->setToolTip(portToolTip());
    return QWidget::eventFilter(watched, event);
}

void frmMain::showMessage(QMessageBox::Icon icon, const QString& title, const QString& text,
                          QWidget* over)
{
    // During a measurement run nothing waits for a click: what a box would say is a notice.
    if (m_runSession && m_runSession->hasBegun() && m_runSession->isRunning()) {
        runNotice(text);
        return;
    }
    if (m_messageSink) {
        m_messageSink(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, over ? over : this);
    box.exec();
}

void frmMain::Form_Load()
{
    // COM 1 to COM 12, and on Windows each port above them that the system has.
    for (const int n : PortNames::listedPorts(systemPorts(), 0))
        cboPort->addItem(QStringLiteral("COM %1").arg(n));
    cboPort->setCurrentIndex(0);
    State.TimeoutSeconds = DefaultTimeoutSeconds;
    for (const char* rate : kRates)
        cboBaudRate->addItem(QString::fromLatin1(rate));
    cboBaudRate->setCurrentIndex(DefaultRateIndex);
    State.VisualOutput = true;
}

void frmMain::Form_QueryUnload(qint16& Cancel, qint16 UnloadMode)
{
    // Every close request is granted, whatever its source.
    Q_UNUSED(Cancel);
    Q_UNUSED(UnloadMode);
    State.Unloading = true;
}

void frmMain::Form_Unload(qint16& Cancel)
{
    // The window belongs to the start-up code, which destroys it once the event loop has ended;
    // a polling loop that is still running finishes its pass on a live window first.
    Q_UNUSED(Cancel);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    qint16 cancel = 0;
    // 0: closed by the user from the window's controls, 1: closed by the program.
    Form_QueryUnload(cancel, event->spontaneous() ? 0 : 1);
    if (cancel != 0) {
        event->ignore();
        return;
    }
    Form_Unload(cancel);
    event->accept();
    endRun(RunEnd::TerminalClosed);
    // The chart and the run window belong to this window and go with it.
    if (m_chart)
        m_chart->close();
    if (m_runWindow)
        m_runWindow->close();
}

void frmMain::Form_Resize()
{
    const auto [command, response] = logColumnWidths(float(pixelsToTwips(lstResponse->width())));
    lstResponse->setColumnWidth(0, qRound(command / double(TwipsPerPixel)));
    lstResponse->setColumnWidth(1, qRound(response / double(TwipsPerPixel)));
}

void frmMain::Form_Paint()
{
    // The window draws nothing itself. Its size is held by its fixed size rather than by setting
    // it again on every paint, which would make resize and paint events feed each other.
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Minimizing and restoring count as size changes.
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
    // Time stamps follow the date and time separators of the window's locale.
    if (event->type() == QEvent::LocaleChange)
        m_stampSeparators = timeStampSeparators(locale());
}

void frmMain::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    Form_Paint();
}
