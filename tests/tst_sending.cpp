// Sending commands with Enter and with the Send button, checked on the instrument's side.

#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "serial/SerialPortControl.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct Bench : TerminalBench {
    void clickSend()
    {
        onGui([&] { QTest::mouseClick(w.cmdSend, Qt::LeftButton); });
    }
    QStringList dropDown()
    {
        return onGui([&] {
            QStringList items;
            for (int i = 0; i < w.txtcmd->count(); ++i)
                items << w.txtcmd->itemText(i);
            return items;
        });
    }
};

} // namespace

class SendingTest : public QObject {
    Q_OBJECT
private slots:
    void sends_data();
    void sends();
    void sendButtonDoesNotAddToTheList();
    void commandSentWhileAReplyIsRead();
    void unsendableCommandIsRefused_data();
    void unsendableCommandIsRefused();
    void failedWriteIsReported();
};

void SendingTest::sends_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("keypadEnter"); // sent with the keypad's Enter rather than Return
    QTest::newRow("twice the same")
        << QStringList{"XY", "XY"} << QByteArray("XY\r\nXY\r\n") << false;
    QTest::newRow("empty command") << QStringList{""} << QByteArray("\r\n") << false;
    QTest::newRow("not trimmed") << QStringList{"  a b  "} << QByteArray("  a b  \r\n") << false;
    QTest::newRow("one byte per character, micro sign, y diaeresis")
        << QStringList{"T=25\u00b0C \u00b5\u00ff"}
        << QByteArray("T=25\xb0"
                      "C \xb5\xff\r\n")
        << false;
    QTest::newRow("the keypad's Enter")
        << QStringList{"ID?", "ID?"} << QByteArray("ID?\r\nID?\r\n") << true;
}

void SendingTest::sends()
{
    QFETCH(QStringList, commands);
    QFETCH(QByteArray, wire);
    QFETCH(bool, keypadEnter);
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        for (const QString& command : commands) {
            onGui([&] { bench.w.txtcmd->lineEdit()->clear(); });
            bench.type(command, !keypadEnter);
            // Known by its key, whatever text the platform gives it ("\r" on X11, "\x03" on
            // a Mac): here none.
            if (keypadEnter)
                onGui([] {
                    QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_Enter,
                                        QString(), Qt::KeypadModifier);
                });
        }
        QCOMPARE(bench.line->read(int(wire.size())), wire);
        QCOMPARE(bench.dropDown(), commands); // Enter appends every command, duplicates too
        QCOMPARE(logRowCount(bench.w), commands.size());
        for (int i = 0; i < commands.size(); ++i) {
            QCOMPARE(logCell(bench.w, i + 1, 0), commands[i]);
            QCOMPARE(logCell(bench.w, i + 1, 1), QString());
        }
        onGui([&] {
            // The command stays in the box, all of it selected, and Send is usable again.
            QCOMPARE(bench.w.txtcmd->currentText(), commands.last());
            QCOMPARE(bench.w.txtcmd->lineEdit()->selectedText(), commands.last());
            QVERIFY(bench.w.cmdSend->isEnabled());
            QCOMPARE(bench.w.state().CurrentItem, TerminalState::NoRow);
        });
    });
    QCOMPARE(bench.messages.count(), 0);
}

void SendingTest::sendButtonDoesNotAddToTheList()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.type("ID", false);
        bench.clickSend();
        QCOMPARE(bench.line->read(4), QByteArray("ID\r\n"));
        QCOMPARE(bench.dropDown(), QStringList());
        QCOMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 0), QStringLiteral("ID"));
        QCOMPARE(onGui([&] { return bench.w.txtcmd->lineEdit()->selectedText(); }),
                 QStringLiteral("ID"));
        // Send by keyboard keeps the focus on the button.
        onGui([&] {
            bench.w.cmdSend->setFocus();
            QTest::keyClick(bench.w.cmdSend, Qt::Key_Space);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.w.cmdSend));
        });
        QCOMPARE(bench.line->read(4), QByteArray("ID\r\n"));
    });
}

void SendingTest::commandSentWhileAReplyIsRead()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("12.");
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        bench.type("NEXT", true);
        // Written at once, while the reply line is still open.
        QCOMPARE(bench.line->read(6), QByteArray("NEXT\r\n"));
        bench.line->write("5\r\n");
        QTRY_COMPARE(logRowCount(bench.w), 2);
        QCOMPARE(logCell(bench.w, 1, 0), QStringLiteral("NEXT"));
        QCOMPARE(logCell(bench.w, 2, 1), QStringLiteral("12.5"));
    });
}

void SendingTest::unsendableCommandIsRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("named");
    QTest::newRow("Greek mu") << "RANGE 5\u03bcV"
                              << "\"\u03bc\" (U+03BC)";
    QTest::newRow("pasted minus sign, twice") << "OFFS \u22125\u2212"
                                              << "\"\u2212\" (U+2212)";
    QTest::newRow("emoji and euro sign") << "NOTE \U0001F600 \u20ac"
                                         << "\"\U0001F600\" (U+1F600), \"\u20ac\" (U+20AC)";
}

void SendingTest::unsendableCommandIsRefused()
{
    QFETCH(QString, command);
    QFETCH(QString, named);
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.type(command, true);
        QTRY_COMPARE(bench.messages.count(), 1);
        QCOMPARE(bench.messages.last().title, QStringLiteral("Error"));
        QCOMPARE(bench.messages.last().text,
                 "The command was not sent: " + named +
                     " cannot be sent to the instrument, which takes only the characters U+0000 "
                     "to U+00FF (Latin-1). Correct the command and send it again.");
        // Nothing logged, the text kept for correcting; Enter still added it to the list.
        QCOMPARE(logRowCount(bench.w), 0);
        QCOMPARE(onGui([&] { return bench.w.txtcmd->currentText(); }), command);
        QCOMPARE(bench.dropDown(), QStringList{command});
        // Nothing went out: the next command is the first thing on the line.
        onGui([&] { bench.w.txtcmd->lineEdit()->clear(); });
        bench.type("OK?", true);
        QCOMPARE(bench.line->read(5), QByteArray("OK?\r\n"));
        QCOMPARE(logRowCount(bench.w), 1);
    });
}

void SendingTest::failedWriteIsReported()
{
    // The instrument goes away while the window handles its events, and a command is sent in
    // that same turn, before the polling loop has seen the loss: it cannot be written.
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        onGui([&] {
            bench.line->releaseSlave();
            bench.line->hangUp();
            QTRY_VERIFY(!bench.w.ComPort->PortOpen());
            bench.type("AFTER", true);
        });
        QTRY_COMPARE(bench.messages.count(), 2); // then the loop reports the loss
        const ShownMessage shown = bench.messages.all().front();
        QCOMPARE(shown.title, QStringLiteral("Error"));
        QVERIFY2(shown.text.startsWith("The command was not sent.") && shown.text.contains("COM 5"),
                 qPrintable(shown.text));
        // The command row stays.
        QCOMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 0), QStringLiteral("AFTER"));
    });
}

QTEST_MAIN(SendingTest)
#include "tst_sending.moc"
