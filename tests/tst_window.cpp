// The window as it starts: controls, captions, states, tab order, the time-out spinner and the
// layout of the log's columns.

#include "app/Failure.h"
#include "app/Geometry.h"
#include "app/Startup.h"
#include "app/UpDown.h"
#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"
#include "log/TextFiles.h"

#include <QAbstractAxis>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startState();
    void controlGeometry_data();
    void controlGeometry();
    void captionsAndAccessKeys_data();
    void captionsAndAccessKeys();
    void listContents();
    void tabOrder();
    void focusStartsInPortList();
    void timeoutSpinner_data();
    void timeoutSpinner();
    void timeoutBoxOnlyFollowsSpinner();
    void columnWidthRounding_data();
    void columnWidthRounding();
    void columnWidthsAtStart();
    void columnWidthsAfterMinimizeAndRestore();
    void windowKeepsItsSize();
    void closingSetsUnloadingAndIsGranted();
    void everyCaptionFits();
    void promptStartsWhereFilesCanBeMade_data();
    void promptStartsWhereFilesCanBeMade();
    void systemReasonInOurSentence_data();
    void systemReasonInOurSentence();
    void everyWindowHasTheWindowsFont();

private:
    std::unique_ptr<frmMain> w;
};

void WindowTest::init()
{
    w = std::make_unique<frmMain>();
}

void WindowTest::cleanup()
{
    w.reset();
}

void WindowTest::startState()
{
    QCOMPARE(w->windowTitle(), QStringLiteral("Baroventis\u00ae Terminal Ver 1.0"));
    QCOMPARE(w->state().TimeoutSeconds, qint16(5));
    QVERIFY(w->state().VisualOutput);
    QVERIFY(!w->state().CheckingPort);
    QVERIFY(!w->state().Unloading);
    QVERIFY(w->state().StreamFileName.isEmpty());
    QCOMPARE(w->state().CurrentItem, TerminalState::NoRow);

    QCOMPARE(w->txtcmd->currentText(),
             QStringLiteral("Please select a port and connect to your instrument"));
    QVERIFY(!w->txtcmd->isEnabled());
    QCOMPARE(w->txtcmd->count(), 0);
    QVERIFY(!w->cmdSend->isEnabled());
    QVERIFY(!w->cmdSave->isEnabled());
    QVERIFY(!w->cmdClear->isEnabled());
    QVERIFY(w->cmdConnect->isEnabled());
    QVERIFY(w->cmdCommandList->isEnabled());
    for (QCheckBox* box : {w->chkStrip, w->chkStream, w->chkTimeStamp}) {
        QCOMPARE(box->checkState(), Qt::Unchecked);
        QVERIFY(!box->isTristate());
    }
    QCOMPARE(w->txtTimeout->text(), QStringLiteral("5"));
    QCOMPARE(w->spnTimeout->value(), 5);
    QVERIFY(w->txtTimeout->isReadOnly());
    QCOMPARE(w->txtTimeout->palette().color(QPalette::Base), w->palette().color(QPalette::Button));
    QCOMPARE(w->lstResponse->Count(), 0);
    QCOMPARE(w->lstResponse->BackColor(), QColor(255, 255, 255));
    QVERIFY(!w->cboPort->isEditable());
    QVERIFY(!w->cboBaudRate->isEditable());
    QVERIFY(w->txtcmd->isEditable());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!w->windowIcon().isNull());
    QVERIFY(w->windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(w->windowIcon().availableSizes().contains(QSize(32, 32)));
    const QList<QPushButton*> buttons = w->findChildren<QPushButton*>();
    for (QPushButton* button : buttons)
        QVERIFY2(!button->isDefault(), qPrintable(button->text()));
}

void WindowTest::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Frame2") << "Frame2" << QRect(60, 4800, 9345, 1335);
    QTest::newRow("txtcmd") << "txtcmd" << QRect(1005, 300, 6585, 315);
    QTest::newRow("cmdCommandList") << "cmdCommandList" << QRect(7665, 780, 1500, 390);
    QTest::newRow("cmdConnect") << "cmdConnect" << QRect(5970, 780, 1650, 390);
    QTest::newRow("spnTimeout") << "spnTimeout" << QRect(5625, 825, 240, 345);
    QTest::newRow("txtTimeout") << "txtTimeout" << QRect(5010, 840, 600, 315);
    QTest::newRow("cboBaudRate") << "cboBaudRate" << QRect(2895, 825, 990, 315);
    QTest::newRow("cboPort") << "cboPort" << QRect(1005, 825, 1005, 315);
    QTest::newRow("cmdSend") << "cmdSend" << QRect(7650, 285, 1500, 390);
    QTest::newRow("Label5") << "Label5" << QRect(2055, 870, 855, 300);
    QTest::newRow("Label4") << "Label4" << QRect(165, 840, 765, 300);
    QTest::newRow("Label3") << "Label3" << QRect(3930, 885, 1050, 300);
    QTest::newRow("Label1") << "Label1" << QRect(180, 345, 855, 300);
    QTest::newRow("Frame1") << "Frame1" << QRect(60, 30, 9345, 4635);
    QTest::newRow("chkStrip") << "chkStrip" << QRect(1590, 4290, 1110, 270);
    QTest::newRow("cmdSave") << "cmdSave" << QRect(7905, 4155, 1350, 390);
    QTest::newRow("cmdClear") << "cmdClear" << QRect(6420, 4155, 1350, 390);
    QTest::newRow("chkStream") << "chkStream" << QRect(2985, 4260, 2760, 315);
    QTest::newRow("chkTimeStamp") << "chkTimeStamp" << QRect(150, 4290, 1515, 270);
    QTest::newRow("lstResponse") << "lstResponse" << QRect(105, 225, 9135, 3885);
}

void WindowTest::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    const std::map<QString, QWidget*> controls = {{"Frame2", w->Frame2},
                                                  {"txtcmd", w->txtcmd},
                                                  {"cmdCommandList", w->cmdCommandList},
                                                  {"cmdConnect", w->cmdConnect},
                                                  {"spnTimeout", w->spnTimeout},
                                                  {"txtTimeout", w->txtTimeout},
                                                  {"cboBaudRate", w->cboBaudRate},
                                                  {"cboPort", w->cboPort},
                                                  {"cmdSend", w->cmdSend},
                                                  {"Label5", w->Label5},
                                                  {"Label4", w->Label4},
                                                  {"Label3", w->Label3},
                                                  {"Label1", w->Label1},
                                                  {"Frame1", w->Frame1},
                                                  {"chkStrip", w->chkStrip},
                                                  {"cmdSave", w->cmdSave},
                                                  {"cmdClear", w->cmdClear},
                                                  {"chkStream", w->chkStream},
                                                  {"chkTimeStamp", w->chkTimeStamp},
                                                  {"lstResponse", w->lstResponse}};
    QWidget* control = controls.at(name);
    QCOMPARE(control->geometry(), twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    const bool inFrame1 =
        QStringList{"chkStrip", "cmdSave", "cmdClear", "chkStream", "chkTimeStamp", "lstResponse"}
            .contains(name);
    const bool onWindow = name.startsWith("Frame");
    QCOMPARE(control->parentWidget(), onWindow   ? static_cast<QWidget*>(w.get())
                                      : inFrame1 ? w->Frame1
                                                 : w->Frame2);
}

void WindowTest::captionsAndAccessKeys_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("accessKey");
    QTest::newRow("Reference") << "cmdCommandList"
                               << "&Reference" << int(Qt::Key_R);
    QTest::newRow("Connect") << "cmdConnect"
                             << "Co&nnect" << int(Qt::Key_N);
    QTest::newRow("Send") << "cmdSend"
                          << "&Send" << int(Qt::Key_S);
    QTest::newRow("Save") << "cmdSave"
                          << "S&ave" << int(Qt::Key_A);
    QTest::newRow("Clear") << "cmdClear"
                           << "&Clear" << int(Qt::Key_C);
    QTest::newRow("Strip") << "chkStrip"
                           << "Str&ip Data" << int(Qt::Key_I);
    QTest::newRow("TimeStamp") << "chkTimeStamp"
                               << "&Time Stamp" << int(Qt::Key_T);
    QTest::newRow("Stream") << "chkStream"
                            << "Stream to a File (No Visual Output)" << 0;
    QTest::newRow("Frame1") << "Frame1"
                            << "Response" << 0;
    QTest::newRow("Frame2") << "Frame2"
                            << "Command and Settings" << 0;
    QTest::newRow("Label1") << "Label1"
                            << "Command:" << 0;
    QTest::newRow("Label3") << "Label3"
                            << "Timeout (Sec):" << 0;
    QTest::newRow("Label4") << "Label4"
                            << "Com Port:" << 0;
    QTest::newRow("Label5") << "Label5"
                            << "Baud Rate:" << 0;
}

void WindowTest::captionsAndAccessKeys()
{
    QFETCH(QString, control);
    QFETCH(QString, expected);
    QFETCH(int, accessKey);
    const std::map<QString, QString> captions = {{"cmdCommandList", w->cmdCommandList->text()},
                                                 {"cmdConnect", w->cmdConnect->text()},
                                                 {"cmdSend", w->cmdSend->text()},
                                                 {"cmdSave", w->cmdSave->text()},
                                                 {"cmdClear", w->cmdClear->text()},
                                                 {"chkStrip", w->chkStrip->text()},
                                                 {"chkTimeStamp", w->chkTimeStamp->text()},
                                                 {"chkStream", w->chkStream->text()},
                                                 {"Frame1", w->Frame1->title()},
                                                 {"Frame2", w->Frame2->title()},
                                                 {"Label1", w->Label1->text()},
                                                 {"Label3", w->Label3->text()},
                                                 {"Label4", w->Label4->text()},
                                                 {"Label5", w->Label5->text()}};
    const QString caption = captions.at(control);
    QCOMPARE(caption, expected);
    if (accessKey != 0)
        QCOMPARE(QKeySequence::mnemonic(caption), QKeySequence(Qt::ALT | Qt::Key(accessKey)));
}

void WindowTest::listContents()
{
    // COM 1 to COM 12; on Windows then the ports above them that the system has.
#ifdef Q_OS_WIN
    QVERIFY(w->cboPort->count() >= 12);
#else
    QCOMPARE(w->cboPort->count(), 12);
#endif
    for (int i = 0; i < 12; ++i)
        QCOMPARE(w->cboPort->itemText(i), QStringLiteral("COM %1").arg(i + 1));
    QCOMPARE(w->cboPort->currentText(), QStringLiteral("COM 1"));
    QStringList rates;
    for (int i = 0; i < w->cboBaudRate->count(); ++i)
        rates << w->cboBaudRate->itemText(i);
    QCOMPARE(rates, QStringList({"115200", "57600", "38400", "19200", "9600", "4800", "1200", "600",
                                 "300", "150"}));
    QCOMPARE(w->cboBaudRate->currentIndex(), 4);
    QCOMPARE(w->cboBaudRate->currentText(), QStringLiteral("9600"));
}

void WindowTest::tabOrder()
{
    // Focus moves through the controls that take it, in the window's tab order.
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->txtcmd->setEnabled(true);
    w->cmdSend->setEnabled(true);
    w->cmdSave->setEnabled(true);
    w->cmdClear->setEnabled(true);
    const QList<QWidget*> order = {
        w->txtcmd,     w->cmdSend,        w->cboPort,      w->cboBaudRate, w->spnTimeout,
        w->cmdConnect, w->cmdCommandList, w->chkTimeStamp, w->chkStrip,    w->chkStream,
        w->cmdClear,   w->cmdSave,        w->lstResponse,  w->txtcmd};
    w->txtcmd->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->txtcmd));
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order[i]);
    }
    QCOMPARE(w->txtTimeout->focusPolicy(), Qt::ClickFocus);
}

void WindowTest::focusStartsInPortList()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cboPort));
    QTest::keyClick(w->cboPort, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->cboBaudRate));
}

void WindowTest::timeoutSpinner_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("expected");
    QTest::newRow("one up by key") << "key" << 1 << 6;
    QTest::newRow("one down by key") << "key" << -1 << 4;
    QTest::newRow("stops at 99") << "key" << 200 << 99;
    QTest::newRow("stops at 1") << "key" << -200 << 1;
    QTest::newRow("wheel up") << "wheel" << 3 << 8;
    QTest::newRow("wheel down to 1") << "wheel" << -10 << 1;
    QTest::newRow("click up") << "click" << 1 << 6;
    QTest::newRow("click down") << "click" << -2 << 3;
}

void WindowTest::timeoutSpinner()
{
    QFETCH(QString, input);
    QFETCH(int, steps);
    QFETCH(int, expected);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    UpDown* spinner = w->spnTimeout;
    int changes = 0;
    QString textAtChange;
    connect(spinner, &UpDown::valueChanged, this, [&] {
        ++changes;
        textAtChange = w->txtTimeout->text();
    });
    for (int i = 0; i < std::abs(steps); ++i) {
        if (input == "key") {
            QTest::keyClick(spinner, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
        } else if (input == "wheel") {
            const QPoint centre = spinner->rect().center();
            QWheelEvent wheel(centre, spinner->mapToGlobal(centre), {}, {0, steps > 0 ? 120 : -120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(spinner, &wheel);
        } else {
            const QPoint where(spinner->width() / 2, steps > 0 ? 2 : spinner->height() - 2);
            QTest::mouseClick(spinner, Qt::LeftButton, {}, where);
        }
    }
    QCOMPARE(spinner->value(), expected);
    QCOMPARE(w->txtTimeout->text(), QString::number(expected));
    QCOMPARE(w->state().TimeoutSeconds, qint16(expected));
    // Each change wrote the box before the change handler ran; no step was skipped or repeated.
    QCOMPARE(textAtChange, QString::number(expected));
    QCOMPARE(changes, std::abs(expected - 5));
}

void WindowTest::timeoutBoxOnlyFollowsSpinner()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTest::keyClicks(w->txtTimeout, "42");
    QCOMPARE(w->txtTimeout->text(), QStringLiteral("5"));
    QCOMPARE(w->state().TimeoutSeconds, qint16(5));
}

void WindowTest::columnWidthRounding_data()
{
    QTest::addColumn<float>("width");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("response");
    QTest::newRow("design width") << 9135.0f << 3045 << 6090;
    QTest::newRow("100") << 100.0f << 33 << 67;
    QTest::newRow("101") << 101.0f << 34 << 67;
    QTest::newRow("102") << 102.0f << 34 << 68;
    QTest::newRow("zero") << 0.0f << 0 << 0;
    QTest::newRow("half to even, down") << 1.5f << 0 << 1;
    QTest::newRow("half to even, up") << 4.5f << 2 << 3;
    QTest::newRow("beyond 16 bits") << 200000.0f << 32767 << 32767;
}

void WindowTest::columnWidthRounding()
{
    QFETCH(float, width);
    QFETCH(int, command);
    QFETCH(int, response);
    const auto [c, r] = logColumnWidths(width);
    QCOMPARE(c, command);
    QCOMPARE(r, response);
}

void WindowTest::columnWidthsAtStart()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(pixelsToTwips(w->lstResponse->columnWidth(0)), 3045);
    QCOMPARE(pixelsToTwips(w->lstResponse->columnWidth(1)), 6090);
}

void WindowTest::columnWidthsAfterMinimizeAndRestore()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->lstResponse->setColumnWidth(0, 50); // as if the user had dragged a column border
    w->showMinimized();
    QApplication::processEvents();
    w->showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE(pixelsToTwips(w->lstResponse->columnWidth(0)), 3045);
    QCOMPARE(pixelsToTwips(w->lstResponse->columnWidth(1)), 6090);
}

void WindowTest::windowKeepsItsSize()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->resize(900, 700);
    QApplication::processEvents();
    QCOMPARE(w->size(), QSize(twipsToPixels(9480), twipsToPixels(6375)));
    QCOMPARE(w->lstResponse->geometry(), twipsRect(105, 225, 9135, 3885));
}

void WindowTest::closingSetsUnloadingAndIsGranted()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QVERIFY(w->close());
    QVERIFY(w->state().Unloading);
    QVERIFY(!w->isVisible());
}

void WindowTest::everyCaptionFits()
{
    // With the window's font, no caption or text is cut off at the fixed geometry.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    const QFontMetrics metrics(w->font());
    auto room = [](QWidget* control, int reserved) { return control->width() - reserved; };
    auto text = [](const QString& caption) { return QString(caption).remove(QLatin1Char('&')); };
    for (QLabel* label : {w->Label1, w->Label3, w->Label4, w->Label5})
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= room(label, 0),
                 qPrintable(label->text()));
    // A check box needs room for its indicator and the gap after it.
    for (QCheckBox* box : {w->chkStrip, w->chkStream, w->chkTimeStamp})
        QVERIFY2(metrics.horizontalAdvance(text(box->text())) <= room(box, 20),
                 qPrintable(box->text()));
    for (QPushButton* button : w->findChildren<QPushButton*>())
        QVERIFY2(metrics.horizontalAdvance(text(button->text())) <= room(button, 12),
                 qPrintable(button->text()));
    QVERIFY(metrics.horizontalAdvance(w->txtcmd->currentText() + "!") <= room(w->txtcmd, 24));
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("115200")) <= room(w->cboBaudRate, 24));
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("COM 12")) <= room(w->cboPort, 24));
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("Disconnect")) <= room(w->cmdConnect, 12));
    QVERIFY(metrics.height() <= w->cboPort->height() - 4);
}

void WindowTest::promptStartsWhereFilesCanBeMade_data()
{
    QTest::addColumn<bool>("writable");
    QTest::newRow("a folder the user can write") << true;
    QTest::newRow("a folder that is gone") << false;
}

void WindowTest::promptStartsWhereFilesCanBeMade()
{
    // An installed program's folder cannot be written by the user: the file prompt then
    // starts in the documents folder (or the home folder without one).
    QFETCH(bool, writable);
    QTemporaryDir folder;
    const QString programFolder = writable ? folder.path() : folder.filePath("gone");
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString fallback = QFileInfo(documents).isDir() ? documents : QDir::homePath();
    QCOMPARE(promptFolder(programFolder), writable ? programFolder : fallback);
    QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList()); // and trying leaves nothing behind
}

void WindowTest::systemReasonInOurSentence_data()
{
    // What the system said, and how it reads inside a message that ends in a full stop of its
    // own ("Could not send to COM 5 (\\.\COM5): Not ready.").
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("reason");
    QTest::newRow("Windows' reason") << "Not ready."
                                     << "Not ready";
    QTest::newRow("with a line end") << "Access is denied.\r\n"
                                     << "Access is denied";
    QTest::newRow("Linux's reason") << "No such file or directory"
                                    << "No such file or directory";
    QTest::newRow("a dot inside") << "Disk D. is full."
                                  << "Disk D. is full";
    QTest::newRow("nothing") << ""
                             << "";
}

void WindowTest::systemReasonInOurSentence()
{
    QFETCH(QString, said);
    QFETCH(QString, reason);
    QCOMPARE(systemReason(said), reason);
}

void WindowTest::everyWindowHasTheWindowsFont()
{
    // As the program starts: the window's font for every window of the program, also where
    // the platform has fonts of its own for menus, tool tips and message boxes.
    const QFont before = QApplication::font();
    applyTerminalLook();
    const QString font = w->font().toString();
    QCOMPARE(QApplication::font().toString(), font);
    for (const char* kind : {"QMenu", "QTipLabel", "QMessageBox", "QLabel", "QPushButton"})
        QCOMPARE(QApplication::font(kind).toString(), font);
    QMenu menu;
    QMessageBox box(QMessageBox::Warning, "Error", "Not ready", QMessageBox::Ok, w.get());
    QCOMPARE(menu.font().toString(), font);
    QCOMPARE(box.font().toString(), font);
    w->show();
    w->mnuChart->trigger();
    ChartWindow* chart = w->chartWindow();
    QVERIFY(chart);
    QCOMPARE(chart->font().toString(), font);
    QCOMPARE(chart->chart()->legend()->font().toString(), font);
    for (QAbstractAxis* axis : chart->chart()->axes())
        QCOMPARE(axis->labelsFont().toString(), font);
    QApplication::setFont(before);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
