// Measurement runs through the window, against an instrument on a pseudo-terminal: the run
// window, what Start refuses, the pairing of real replies, and bvterm --run and --help.

#include "app/Captions.h"
#include "log/ResponseListView.h"
#include "run/RunCsvFile.h"
#include "run/RunSession.h"
#include "run/RunStatusLine.h"
#include "run/RunWindow.h"
#include "support/RunBench.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString kRunTitle = QStringLiteral("Measurement Run");

} // namespace

class RunWindowTest : public QObject {
    Q_OBJECT
private slots:
    void runWindow();
    void refusals_data();
    void refusals();
    void pairing_data();
    void pairing();
    void modalDialogHoldsTheRun();
    void lockedWhileRunning();
    void browse();
    void commandLineRun_data();
    void commandLineRun();
};

void RunWindowTest::runWindow()
{
    RunBench bench;
    frmMain& w = bench.w;
    RunWindow* run = bench.run;
    QVERIFY(!run->isVisible());
    // Ctrl+R anywhere in the terminal's window.
    w.chkStrip->setFocus();
    QTest::keyClick(w.chkStrip, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(QTest::qWaitForWindowExposed(run));
    QCOMPARE(run->windowTitle(), kRunTitle);
    QVERIFY(!run->isModal());
    QVERIFY(run->isWindow() && !run->parentWidget());
    QCOMPARE(w.mnuRun->text(), QStringLiteral("Measurement Run\u2026"));
    QVERIFY(w.lstResponse->actions().contains(w.mnuRun));

    // The fields, in their tab order, with their defaults; Tab leaves the commands box.
    const QList<QWidget*> order{run->txtCommands, run->txtEvery,   run->txtReplyTimeout,
                                run->spnCycles,   run->txtCsvFile, run->cmdBrowse,
                                run->cmdStart,    run->cmdOpen,    run->cmdSave};
    run->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(run));
    run->txtCommands->setFocus();
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order[i]);
    }
    QCOMPARE(run->txtEvery->text(), QStringLiteral("1"));
    QCOMPARE(run->txtReplyTimeout->text(), QStringLiteral("1"));
    QCOMPARE(run->spnCycles->value(), 0);
    // Enter in a field starts a run.
    QCOMPARE(run->cmdStart->text(), QStringLiteral("&Start"));
    run->txtEvery->setFocus();
    QVERIFY(run->cmdStart->isDefault());

    // Closing hides it; asking again brings the same window back.
    run->close();
    QVERIFY(!run->isVisible());
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.cboPort, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(run->isVisible());
    QCOMPARE(w.runWindow(), run);
}

void RunWindowTest::refusals_data()
{
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QString>("every");
    QTest::addColumn<QString>("file"); // "folder", "fifo", "held" or a name in the folder
    QTest::addColumn<QString>("message");
    QTest::newRow("no commands") << "\n  \n"
                                 << "1"
                                 << "run.csv"
                                 << "There are no commands to send: enter at least one command, "
                                    "one per line.";
    QTest::newRow("a command that cannot be sent")
        << "TEMP?\n\nSET \u03bc=1"
        << "1"
        << "run.csv"
        << "Line 3 of the commands cannot be sent: \"\u03bc\" (U+03BC) cannot be sent to the "
           "instrument, which takes only the characters U+0000 to U+00FF (Latin-1).";
    QTest::newRow("period out of range") << "TEMP?"
                                         << "0,09"
                                         << "run.csv"
                                         << "Every: give the period as a number of seconds from "
                                            "0.1 to 86400, with at most three decimals.";
    QTest::newRow("no file") << "TEMP?"
                             << "1"
                             << ""
                             << "There is no CSV file: enter its name, or choose one with "
                                "Browse\u2026";
    QTest::newRow("a folder") << "TEMP?"
                              << "1"
                              << "folder"
                              << "FILE is not a regular file: a measurement run writes its rows "
                                 "only into a regular file.";
    QTest::newRow("a pipe") << "TEMP?"
                            << "1"
                            << "fifo"
                            << "FILE is not a regular file: a measurement run writes its rows "
                               "only into a regular file.";
    QTest::newRow("held by another run")
        << "TEMP?"
        << "1"
        << "held"
        << "The CSV file FILE cannot be opened for appending: another program is writing to it.";
}

void RunWindowTest::refusals()
{
    QFETCH(QString, commands);
    QFETCH(QString, every);
    QFETCH(QString, file);
    QFETCH(QString, message);
    RunBench bench;
    QString path = bench.folder.filePath(file);
    RunCsvFile holder;
    if (file == QLatin1String("folder")) {
        path = bench.folder.path();
    } else if (file == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (file == QLatin1String("held")) {
        QCOMPARE(holder.open(path), QString());
    } else if (file.isEmpty()) {
        path.clear();
    }
    bench.define(commands, every, QStringLiteral("1"), path);
    bench.run->cmdStart->click();
    QCOMPARE(bench.messages.count(), 1);
    QCOMPARE(bench.messages.last().title, kRunTitle);
    QCOMPARE(bench.messages.last().text, QString(message).replace(QLatin1String("FILE"), path));
    QVERIFY(!bench.w.runSession());
    QCOMPARE(bench.run->cmdStart->text(), QStringLiteral("&Start"));
    QCOMPARE(bench.w.cmdConnect->text(), kConnectCaption); // nothing was connected
}

void RunWindowTest::pairing_data()
{
    QTest::addColumn<QString>("commands");
    // The instrument's part: <CMD waits for the command, >TEXT sends a line, >>TEXT sends
    // characters without a line end, ~N waits N ms; t:CMD types a command into the terminal.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("rows");
    const QString started = QStringLiteral("started (COM 5 (DEVICE), 9600 baud, every 30 s, reply "
                                           "time-out 0.3 s, commands: %1)");
    const QString stopped = QStringLiteral("stopped (Stop pressed)");
    QTest::newRow("a reply") << "TEMP?"
                             << "<TEMP? >TEMP_23.5"
                             << QStringList{started.arg("TEMP?"), "ok TEMP?=TEMP_23.5", stopped};
    QTest::newRow("no reply") << "TEMP?"
                              << "<TEMP?"
                              << QStringList{started.arg("TEMP?"), "no reply TEMP?", stopped};
    QTest::newRow("a late reply") << "A\nB"
                                  << "<A ~100 >>LATE <B > >2"
                                  << QStringList{started.arg("A | B"), "no reply A",
                                                 "unsolicited=LATE", "ok B=2", stopped};
    QTest::newRow("two lines to one command")
        << "A"
        << "<A >1 >2" << QStringList{started.arg("A"), "ok A=1", "unsolicited=2", stopped};
    QTest::newRow("an empty line before the reply")
        << "A"
        << "<A > >1" << QStringList{started.arg("A"), "unsolicited", "ok A=1", stopped};
    QTest::newRow("a line sent unasked")
        << "A"
        << "<A >1 >U" << QStringList{started.arg("A"), "ok A=1", "unsolicited=U", stopped};
    QTest::newRow("a command typed during a run")
        << "A\nB"
        << "<A t:X >1 <X >2 <B >3"
        << QStringList{started.arg("A | B"), "ok A=1", "ok X=2", "ok B=3", stopped};
}

void RunWindowTest::pairing()
{
    QFETCH(QString, commands);
    QFETCH(QString, script);
    QFETCH(QStringList, rows);
    RunBench bench;
    bench.define(commands, QStringLiteral("30"), QStringLiteral("0.3"), bench.csv);
    runScenario(bench.w, [&] {
        // Start while disconnected connects first.
        bench.pressStart();
        for (const QString& step : script.split(u' ')) {
            if (step.startsWith(QLatin1String(">>"))) {
                bench.line->write(step.mid(2).toLatin1());
            } else if (step.startsWith(u'>')) {
                bench.line->write(step.mid(1).toLatin1() + "\r\n");
            } else if (step.startsWith(u'<')) {
                QCOMPARE(bench.line->readUntil("\r\n"), step.mid(1).toLatin1() + "\r\n");
            } else if (step.startsWith(u'~')) {
                QThread::msleep(step.mid(1).toULong()); // the instrument takes its time
            } else if (step.startsWith(QLatin1String("t:"))) {
                onGui([&] {
                    bench.w.txtcmd->setFocus();
                    bench.w.txtcmd->lineEdit()->setText(step.mid(2));
                    QTest::keyClick(bench.w.txtcmd, Qt::Key_Return);
                });
            }
        }
        QVERIFY(bench.waitForRows(int(rows.size()) - 1));
        QVERIFY(isConnected(bench.w));
        bench.pressStart(); // Stop
        QVERIFY(bench.waitForRows(int(rows.size())));
        QCOMPARE(bench.rows(), rows);
        QVERIFY(isConnected(bench.w)); // Stop leaves the connection as it is
    });
    // The log shows the exchange as always: the first command row, then its reply.
    QCOMPARE(logCell(bench.w, 1, 0), commands.section(u'\n', 0, 0));
}

void RunWindowTest::modalDialogHoldsTheRun()
{
    // While a file prompt is open, nothing is sent; its cycles are one skipped row afterwards.
    RunBench bench;
    bench.define(QStringLiteral("A"), QStringLiteral("0.2"), QStringLiteral("0.1"), bench.csv);
    runScenario(bench.w, [&] {
        bench.pressStart();
        QCOMPARE(bench.line->readUntil("\r\n"), QByteArray("A\r\n"));
        bench.line->write("1\r\n");
        QVERIFY(bench.waitForRows(2));
        postToGui([&] { bench.w.chkStream->click(); });
        QVERIFY(waitForFileDialog());
        bench.line->readAvailable();
        QThread::msleep(1000); // the dialog stays open across several due times
        QCOMPARE(bench.line->readAvailable(), QByteArray());
        QVERIFY(dismissFileDialog());
        QCOMPARE(bench.line->readUntil("\r\n"), QByteArray("A\r\n"));
        bench.line->write("2\r\n");
        QVERIFY(bench.waitForRows(4));
        bench.pressStart();
        QVERIFY(bench.waitForRows(5));
    });
    const QStringList rows = bench.rows();
    QCOMPARE(rows.value(1), QStringLiteral("ok A=1"));
    QVERIFY2(rows.value(2).startsWith(QLatin1String("skipped ")) &&
                 rows.value(2).mid(8).toInt() >= 4,
             qPrintable(rows.join(u'|')));
    QCOMPARE(rows.mid(3), (QStringList{"ok A=2", "stopped (Stop pressed)"}));
}

void RunWindowTest::lockedWhileRunning()
{
    RunBench bench;
    RunWindow* run = bench.run;
    bench.define(QStringLiteral("TEMP?"), QStringLiteral("30"), QStringLiteral("0.3"), bench.csv);
    runScenario(bench.w, [&] {
        bench.pressStart();
        QCOMPARE(bench.line->readUntil("\r\n"), QByteArray("TEMP?\r\n"));
        QVERIFY(bench.running());
        bench.line->write("TEMP_21.5\r\n");
        QVERIFY(bench.waitForRows(2));
        QVERIFY(waitUntil([&] {
            return onGui(
                [&] { return run->lblStatus->text().contains(QLatin1String("TEMP_21.5")); });
        }));
        onGui([&] {
            QCOMPARE(run->cmdStart->text(), QStringLiteral("&Stop"));
            for (QLineEdit* field : {run->txtEvery, run->txtReplyTimeout, run->txtCsvFile})
                QVERIFY(field->isReadOnly());
            QVERIFY(run->txtCommands->isReadOnly());
            QVERIFY(run->spnCycles->isReadOnly());
            QVERIFY(!run->cmdBrowse->isEnabled() && !run->cmdOpen->isEnabled());
            // A stray Enter, in a field or on the Stop button itself, stops nothing.
            for (QWidget* focus : std::initializer_list<QWidget*>{run->txtEvery, run->cmdStart}) {
                focus->setFocus();
                QTest::keyClick(focus, Qt::Key_Return);
            }
            // Closing the window only hides it.
            run->close();
        });
        QVERIFY(bench.running());
        bench.pressStart();
        QVERIFY(waitUntil([&] { return !bench.running(); }));
        onGui([&] {
            QCOMPARE(run->cmdStart->text(), QStringLiteral("&Start"));
            QVERIFY(!run->txtEvery->isReadOnly() && run->cmdOpen->isEnabled());
            // The status line reads as it shows.
            QAccessibleInterface* status = QAccessible::queryAccessibleInterface(run->lblStatus);
            QCOMPARE(status->role(), QAccessible::StatusBar);
            QCOMPARE(status->text(QAccessible::Name), run->lblStatus->text());
            QVERIFY(run->lblStatus->text().startsWith(
                QLatin1String("Stopped (Stop pressed): 1 cycles done, 1 replies, 0 no replies.")));
        });
    });
}

void RunWindowTest::browse()
{
    // The CSV prompt offers a name of its own and remembers the last one chosen, apart from
    // the stream and save prompt's; it adds ".csv" and asks nothing about an existing file.
    RunBench bench;
    runScenario(bench.w, [&] {
        const QRegularExpression stamped(
            QStringLiteral("^bvterm-run-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.csv$"));
        for (const QString& expected :
             {QStringLiteral("bvterm-run-"), QStringLiteral("mine.csv")}) {
            postToGui([&] { bench.run->cmdBrowse->click(); });
            FileDialogView view;
            QVERIFY(waitForFileDialog(&view));
            QCOMPARE(view.title, QStringLiteral("Measurement Run CSV File"));
            QCOMPARE(view.nameFilters, QStringList{"CSV files (*.csv)"});
            QVERIFY2(expected == QLatin1String("mine.csv")
                         ? view.offeredName.endsWith(expected)
                         : stamped.match(view.offeredName).hasMatch(),
                     qPrintable(view.offeredName));
            QVERIFY(!view.confirmsOverwrite);
            QVERIFY(answerFileDialog(bench.folder.filePath(QStringLiteral("mine"))));
            QCOMPARE(onGui([&] { return bench.run->txtCsvFile->text(); }),
                     bench.folder.filePath(QStringLiteral("mine.csv")));
        }
    });
}

void RunWindowTest::commandLineRun_data()
{
    QTest::addColumn<bool>("portThere");
    QTest::newRow("the port is there") << true;
    QTest::newRow("the port comes later") << false;
}

void RunWindowTest::commandLineRun()
{
    // Started from a saved definition, the run connects and records with no key pressed; a port
    // that cannot be opened yet is tried again until it can.
    QFETCH(bool, portThere);
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(5, portThere ? line.slavePath() : QStringLiteral("/dev/pts/999999"));
    QTemporaryDir folder;
    QProcess bvterm;
    QVERIFY(startRunFromCommandLine(bvterm, QStringLiteral(BVTERM_PATH), folder.path(),
                                    "[Run]\nPort=5\nBaudRate=19200\nTimeoutSeconds=7\nEvery=0.2\n"
                                    "ReplyTimeout=1\nCycles=2\nCsvFile=run.csv\nCommand1=TEMP?\n"));
    const QString csv = folder.filePath(QStringLiteral("run.csv"));
    if (!portThere) {
        // The run holds its file from the start and writes into it once connected.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(csv), 10000);
        QCOMPARE(QFileInfo(csv).size(), 0);
        aliases.point(5, line.slavePath());
    }
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(line.readUntil("\r\n", 10000), QByteArray("TEMP?\r\n"));
        line.write("TEMP_21.5\r\n");
    }
    QTRY_COMPARE_WITH_TIMEOUT(csvRows(csv).size(), 4, 10000);
    QCOMPARE(line.baudRate(), 19200);
    bvterm.kill();
    bvterm.waitForFinished();
    QCOMPARE(csvRows(csv),
             (QStringList{"started (COM 5 (DEVICE), 19200 baud, every 0.2 s, reply time-out 1 s, "
                          "commands: TEMP?)",
                          "ok TEMP?=TEMP_21.5", "ok TEMP?=TEMP_21.5", "stopped (2 cycles done)"}));
}

QTEST_MAIN(RunWindowTest)
#include "tst_runwindow.moc"
