// Talking to an instrument through the window, over real pseudo-terminals: connecting and
// disconnecting, reading reply lines into the log or a stream file, and the failures on the
// way.

#include "app/Captions.h"
#include "app/UpDown.h"
#include "app/frmMain.h"
#include "exchange/TimeStamp.h"
#include "log/ResponseListView.h"
#include "serial/SerialPortControl.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every reply is stamped with this time: a day above 12 and milliseconds below 100, so that
// a month and day swapped or milliseconds not padded show.
const QDateTime kFixedTime(QDate(2026, 12, 25), QTime(9, 5, 3, 7));
const QString kFixedStamp = QStringLiteral("12/25/2026 09:05:03.007");

struct Bench : TerminalBench {
    Bench()
    {
        w.setLocale(QLocale::c());
        w.setLocalClock([] { return kFixedTime; });
    }
};

} // namespace

class ExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void timeStamps_data();
    void timeStamps();
    void replyBecomesRow_data();
    void replyBecomesRow();
    void checkBoxesApplyToTheLineBeingRead();
    void controlStates();
    void repliesBelongToThisConnection();
    void opensSelectedPortAndRate_data();
    void opensSelectedPortAndRate();
    void failedConnect();
    void disconnectInTheMiddleOfALine();
    void lineFeedAfterTheTimeOut();
    void timeOutChangesDuringARead();
    void streamsLines_data();
    void streamsLines();
    void unwritableStreamFile();
    void deviceHangsUp();
    void closingWhileConnected();
};

void ExchangeTest::timeStamps_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    const QDateTime newYear(QDate(2027, 1, 2), QTime(0, 0, 0, 0));
    QTest::newRow("C") << "C" << kFixedTime << "12/25/2026 09:05:03.007";
    QTest::newRow("C, fields padded") << "C" << newYear << "01/02/2027 00:00:00.000";
    QTest::newRow("en_US") << "en_US" << kFixedTime << "12/25/2026 09:05:03.007";
    QTest::newRow("de_DE") << "de_DE" << kFixedTime << "12.25.2026 09:05:03.007";
    QTest::newRow("fi_FI, time with .") << "fi_FI" << kFixedTime << "12.25.2026 09.05.03.007";
    QTest::newRow("sv_SE") << "sv_SE" << kFixedTime << "12-25-2026 09:05:03.007";
    QTest::newRow("fr_CA, time with 'h'") << "fr_CA" << kFixedTime << "12-25-2026 09:05:03.007";
    QTest::newRow("hu_HU, date with '. '") << "hu_HU" << newYear << "01/02/2027 00:00:00.000";
}

void ExchangeTest::timeStamps()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(timeStampText(time, locale == "C" ? QLocale::c() : QLocale(locale)), text);
}

void ExchangeTest::replyBecomesRow_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("stamp");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<QStringList>("responses");
    QTest::newRow("plain") << QByteArray("12.5\r\n") << false << false << QStringList{"12.5"};
    QTest::newRow("carriage return inside")
        << QByteArray("1\r2\n") << false << false << QStringList{"12"};
    QTest::newRow("line feed alone") << QByteArray("\n") << false << false << QStringList{""};
    QTest::newRow("two lines in one burst")
        << QByteArray("A\nB\r\n") << false << false << QStringList{"A", "B"};
    QTest::newRow("stamp and strip")
        << QByteArray("ABCDE12.50\r\n") << true << true << QStringList{"12.5"};
    QTest::newRow("strip") << QByteArray("AB_7\n") << false << true << QStringList{"7"};
    QTest::newRow("stamp, empty reply") << QByteArray("\r\n") << true << false << QStringList{""};
    QTest::newRow("8-bit bytes") << QByteArray("\xb5V \xb0"
                                               "C\n")
                                 << false << false
                                 << QStringList{QStringLiteral("\u00b5V \u00b0C")};
    QStringList many;
    QByteArray burst;
    for (int i = 0; i < 200; ++i) {
        many << QStringLiteral("reading %1").arg(i);
        burst += "reading " + QByteArray::number(i) + "\r\n";
    }
    QTest::newRow("unsolicited stream of lines") << burst << false << false << many;
    // Lines longer than what a line starts with room for, and a burst larger than the port
    // hands over at once.
    QStringList longLines;
    QByteArray longBurst;
    for (const int length : {63, 64, 65, 129, 1000, 40000}) {
        const QByteArray text = QByteArray::number(length).leftJustified(length, '-');
        longLines << QString::fromLatin1(text);
        longBurst += text + "\r\n";
    }
    QTest::newRow("long lines") << longBurst << false << false << longLines;
}

void ExchangeTest::replyBecomesRow()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, stamp);
    QFETCH(bool, strip);
    QFETCH(QStringList, responses);
    Bench bench;
    bench.w.chkTimeStamp->setChecked(stamp);
    bench.w.chkStrip->setChecked(strip);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write(bytes);
        QTRY_COMPARE(logRowCount(bench.w), responses.size());
        for (int i = 0; i < responses.size(); ++i) {
            QCOMPARE(logCell(bench.w, i + 1, 0), stamp ? kFixedStamp : QString());
            QCOMPARE(logCell(bench.w, i + 1, 1), responses[i]);
        }
    });
    QCOMPARE(bench.messages.count(), 0);
    QCOMPARE(bench.w.state().CurrentItem, TerminalState::NoRow);
}

void ExchangeTest::checkBoxesApplyToTheLineBeingRead()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("ABCDE4");
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        onGui([&] {
            bench.w.chkStrip->setChecked(true);
            bench.w.chkTimeStamp->setChecked(true);
        });
        bench.line->write(".25\n");
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 1), QStringLiteral("4.25"));
        QCOMPARE(logCell(bench.w, 1, 0), kFixedStamp);
    });
}

void ExchangeTest::controlStates()
{
    Bench bench;
    bench.w.lstResponse->AddRow("earlier");
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        onGui([&] {
            QCOMPARE(bench.w.cmdConnect->text(), kDisconnectCaption);
            QVERIFY(bench.w.cmdSend->isEnabled());
            QVERIFY(!bench.w.cmdSave->isEnabled());
            QVERIFY(!bench.w.cmdClear->isEnabled());
            QVERIFY(bench.w.txtcmd->isEnabled());
            QCOMPARE(bench.w.txtcmd->currentText(), QString());
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.w.txtcmd));
            QVERIFY(bench.w.state().CheckingPort);
            QVERIFY(bench.w.cboPort->isEnabled() && bench.w.cboBaudRate->isEnabled());
        });
        bench.disconnect();
        QTRY_VERIFY(!onGui([&] { return bench.w.isPolling(); }));
        onGui([&] {
            QCOMPARE(bench.w.cmdConnect->text(), kConnectCaption);
            QVERIFY(!bench.w.cmdSend->isEnabled());
            QVERIFY(bench.w.cmdSave->isEnabled());
            QVERIFY(bench.w.cmdClear->isEnabled());
            QVERIFY(!bench.w.txtcmd->isEnabled());
            QCOMPARE(bench.w.txtcmd->currentText(), kCommandPromptAfterDisconnect);
            QVERIFY(!bench.w.state().CheckingPort);
            QVERIFY(!bench.w.ComPort->PortOpen());
            // With an empty log, a disconnect leaves Save and Clear disabled.
            bench.w.cmdClear->click();
            bench.w.cmdClear->setEnabled(false);
        });
        QVERIFY(bench.connect());
        bench.disconnect();
        QTRY_VERIFY(!onGui([&] { return bench.w.isPolling(); }));
        onGui([&] {
            QVERIFY(!bench.w.cmdSave->isEnabled());
            QVERIFY(!bench.w.cmdClear->isEnabled());
        });
    });
    QCOMPARE(bench.messages.count(), 0);
}

void ExchangeTest::opensSelectedPortAndRate_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("rate");
    QTest::newRow("COM 1 at 150") << 1 << "150";
    QTest::newRow("COM 12 at 115200") << 12 << "115200";
    QTest::newRow("COM 7 at 4800") << 7 << "4800";
}

void ExchangeTest::opensSelectedPortAndRate()
{
    QFETCH(int, port);
    QFETCH(QString, rate);
    Bench bench;
    PseudoTerminal other;
    bench.aliases.point(port, other.slavePath());
    bench.w.cboPort->setCurrentIndex(port - 1);
    bench.w.cboBaudRate->setCurrentText(rate);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        QCOMPARE(onGui([&] { return bench.w.ComPort->CommPort(); }), port);
        QCOMPARE(onGui([&] { return bench.w.ComPort->Settings(); }), rate + ",N,8,1");
        QCOMPARE(other.baudRate(), rate.toInt());
        other.write("here\n");
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 1), QStringLiteral("here"));
    });
}

void ExchangeTest::failedConnect()
{
    Bench bench;
    bench.aliases.point(9, "/dev/bvterm-no-such-device");
    bench.w.cboPort->setCurrentIndex(8); // COM 9
    bench.w.lstResponse->AddRow("kept");
    runScenario(bench.w, [&] {
        pressConnect(bench.w);
        QTRY_COMPARE(bench.messages.count(), 1);
        const ShownMessage shown = bench.messages.last();
        QCOMPARE(shown.title, QStringLiteral("Communication Error"));
        QCOMPARE(shown.icon, QMessageBox::Warning);
        QVERIFY2(shown.text.contains("COM 9") && shown.text.contains("does not exist"),
                 qPrintable(shown.text));
        onGui([&] {
            QCOMPARE(bench.w.cmdConnect->text(), kConnectCaption);
            QVERIFY(!bench.w.cmdSend->isEnabled());
            QVERIFY(!bench.w.txtcmd->isEnabled());
            QCOMPARE(bench.w.txtcmd->currentText(), kCommandPrompt);
            QVERIFY(!bench.w.isPolling());
            QVERIFY(!bench.w.state().CheckingPort);
            QVERIFY(!bench.w.ComPort->PortOpen());
            // The log can still be saved or cleared.
            QVERIFY(bench.w.cmdSave->isEnabled());
            QVERIFY(bench.w.cmdClear->isEnabled());
        });
        // A later connect to a working port succeeds.
        onGui([&] { bench.w.cboPort->setCurrentIndex(4); });
        QVERIFY(bench.connect());
        bench.line->write("fine\n");
        QTRY_COMPARE(logRowCount(bench.w), 2);
    });
    QCOMPARE(bench.messages.count(), 1);
}

void ExchangeTest::disconnectInTheMiddleOfALine()
{
    Bench bench;
    bench.setTimeout(1);
    bench.w.chkTimeStamp->setChecked(true);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("12.");
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        bench.disconnect();
        // The read goes on until its time-out, logs the empty reply and the loop ends quietly.
        QTRY_VERIFY(!onGui([&] { return bench.w.isPolling(); }));
        QCOMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 0), kFixedStamp);
        QCOMPARE(logCell(bench.w, 1, 1), QString());
    });
    QCOMPARE(bench.messages.count(), 0);
}

void ExchangeTest::lineFeedAfterTheTimeOut()
{
    Bench bench;
    bench.setTimeout(1);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("ABC\r");
        // A carriage return does not end the line: after the time-out an empty reply is logged
        // and what was read is gone.
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 1), QString());
        // The rest of that line comes back as a line of its own.
        bench.line->write("DEF\nGHI\n");
        QTRY_COMPARE(logRowCount(bench.w), 3);
        QCOMPARE(logCell(bench.w, 2, 1), QStringLiteral("DEF"));
        QCOMPARE(logCell(bench.w, 3, 1), QStringLiteral("GHI"));
    });
}

void ExchangeTest::timeOutChangesDuringARead()
{
    Bench bench;
    bench.setTimeout(99);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("AB");
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        // Shortening it ends the read that is waiting (it would otherwise wait 99 s).
        bench.setTimeout(1);
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 1), QString());
        // Lengthening it keeps a read going past the old time-out.
        bench.line->write("CD");
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        bench.setTimeout(30);
        QTest::qWait(1500);
        QCOMPARE(logRowCount(bench.w), 1);
        bench.line->write("EF\n");
        QTRY_COMPARE(logRowCount(bench.w), 2);
        QCOMPARE(logCell(bench.w, 2, 1), QStringLiteral("CDEF"));
    });
}

void ExchangeTest::streamsLines_data()
{
    QTest::addColumn<QString>("locale"); // with time stamps in these regional settings
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("appended");
    QTest::newRow("replies alone")
        << "" << QByteArray("1.5\r\nB,2\n\n") << QByteArray("1.5\r\nB,2\r\n\r\n");
    QTest::newRow("with time stamps")
        << "C" << QByteArray("x\n\n")
        << QByteArray("12/25/2026 09:05:03.007,x\r\n12/25/2026 09:05:03.007,\r\n");
    QTest::newRow("with time stamps, German settings")
        << "de_DE" << QByteArray("x\n") << QByteArray("12.25.2026 09:05:03.007,x\r\n");
}

void ExchangeTest::streamsLines()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, appended);
    Bench bench;
    QTemporaryDir dir;
    const QString path = dir.filePath("stream.txt");
    {
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old line\r\n");
    }
    bench.w.state().StreamFileName = path;
    bench.w.state().VisualOutput = false;
    bench.w.chkTimeStamp->setChecked(!locale.isEmpty());
    if (locale == "de_DE")
        bench.w.setLocale(QLocale(locale));
    const auto written = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write(bytes);
        QTRY_COMPARE(written(), "old line\r\n" + appended);
    });
    QCOMPARE(bench.w.lstResponse->Count(), 0); // nothing went to the log
}

void ExchangeTest::unwritableStreamFile()
{
    Bench bench;
    bench.streamTo("/nonexistent-folder/stream.txt");
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("7.5\n");
        QTRY_COMPARE(bench.messages.count(), 1);
        const ShownMessage shown = bench.messages.last();
        QCOMPARE(shown.title, QStringLiteral("Error"));
        QCOMPARE(shown.icon, QMessageBox::Warning);
        QVERIFY2(shown.text.contains("/nonexistent-folder/stream.txt"), qPrintable(shown.text));
        // The line is not lost, streaming is off, and polling goes on on the open port.
        QCOMPARE(bench.responses(), QStringList({"7.5", "Data streaming canceled. "}));
        onGui([&] {
            QCOMPARE(bench.w.cmdConnect->text(), kDisconnectCaption);
            QVERIFY(bench.w.ComPort->PortOpen());
            QVERIFY(bench.w.state().VisualOutput);
            QVERIFY(bench.w.isPolling());
        });
    });
}

void ExchangeTest::deviceHangsUp()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("last\nhalf");
        // Hang up once the terminal has received it all (what the kernel still holds for a
        // line that hangs up is thrown away before anyone can read it).
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        bench.line->releaseSlave();
        bench.line->hangUp();
        QTRY_COMPARE(bench.messages.count(), 1);
        const ShownMessage shown = bench.messages.last();
        QCOMPARE(shown.title, QStringLiteral("Error"));
        QVERIFY2(shown.text.contains("COM 5") && shown.text.contains("disconnected"),
                 qPrintable(shown.text));
        QCOMPARE(bench.responses(), QStringList{"last"});
        // A device that is gone cannot stay connected: the window says so as after Disconnect.
        onGui([&] {
            QCOMPARE(bench.w.cmdConnect->text(), kConnectCaption);
            QVERIFY(!bench.w.cmdSend->isEnabled());
            QVERIFY(!bench.w.txtcmd->isEnabled());
            QCOMPARE(bench.w.txtcmd->currentText(), kCommandPromptAfterDisconnect);
            QVERIFY(bench.w.cmdSave->isEnabled());
            QVERIFY(bench.w.cmdClear->isEnabled());
            QVERIFY(!bench.w.state().CheckingPort);
            QVERIFY(!bench.w.ComPort->PortOpen());
            QVERIFY(!bench.w.isPolling());
        });
        // The device is back: one press of Connect talks to it again.
        bench.line = std::make_unique<PseudoTerminal>();
        bench.aliases.point(5, bench.line->slavePath());
        QVERIFY(bench.connect());
        bench.line->write("again\n");
        QTRY_COMPARE(bench.responses(), QStringList({"last", "again"}));
    });
    QCOMPARE(bench.messages.count(), 1);
}

void ExchangeTest::repliesBelongToThisConnection()
{
    Bench bench;
    // The instrument talked before anyone connected, and again while disconnected.
    bench.line->write("before 1\r\nbefore 2\r\n");
    QVERIFY(bench.line->waitUntilQueued(20));
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("first\r\n");
        QTRY_COMPARE(bench.responses(), QStringList{"first"});
        QVERIFY(bench.disconnect());
        bench.line->write("while away\r\n");
        QVERIFY(bench.line->waitUntilQueued(12));
        QVERIFY(bench.connect());
        bench.line->write("second\r\n");
        QTRY_COMPARE(bench.responses(), QStringList({"first", "second"}));
    });
    QCOMPARE(bench.messages.count(), 0);
}

void ExchangeTest::closingWhileConnected()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        postToGui([&] { bench.w.close(); });
        QTRY_VERIFY(onGui([&] { return bench.w.hasEndedProgram(); }));
        onGui([&] {
            QVERIFY(bench.w.state().Unloading);
            QVERIFY(!bench.w.ComPort->PortOpen());
            QVERIFY(!bench.w.isPolling());
        });
    });
    QCOMPARE(bench.messages.count(), 0);
}

QTEST_MAIN(ExchangeTest)
#include "tst_exchange.moc"
