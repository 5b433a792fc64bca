// Choosing another port or rate while connected reconnects at once; while disconnected it
// waits for the next Connect.

#include "app/Captions.h"
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
    void chooseRate(const QString& rate)
    {
        onGui([&] { w.cboBaudRate->setCurrentText(rate); });
    }
    void choosePort(int number)
    {
        onGui([&] { w.cboPort->setCurrentIndex(number - 1); });
    }
    // Connected with the port opened `opens` times in all.
    bool reconnected(quint64 opens)
    {
        return waitUntil([&] {
            return onGui([&] {
                return w.ComPort->OpenCount() == opens && w.ComPort->PortOpen() &&
                       w.cmdConnect->text() == kDisconnectCaption;
            });
        });
    }
};

// Roughly how deep the GUI thread's stack is where handlers run.
quintptr stackPosition()
{
    return onGui([] {
        volatile char marker = 0;
        return reinterpret_cast<quintptr>(&marker);
    });
}

} // namespace

class SelectionTest : public QObject {
    Q_OBJECT
private slots:
    void rateChangeReconnects();
    void portChangeReconnects();
    void reconnectToAFailingPort();
    void choiceWhileDisconnectedWaitsForConnect();
    void manyReconnectsKeepOneLoop();
    void portListReadAsItOpens();
};

void SelectionTest::rateChangeReconnects()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        QCOMPARE(bench.line->baudRate(), 9600);
        bench.chooseRate("115200");
        QVERIFY(bench.reconnected(2));
        QCOMPARE(bench.line->baudRate(), 115200);
        onGui([&] {
            QCOMPARE(bench.w.txtcmd->currentText(), QString());
            QVERIFY(bench.w.txtcmd->isEnabled());
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.w.txtcmd));
            QVERIFY(bench.w.cmdSend->isEnabled());
            QVERIFY(!bench.w.cmdSave->isEnabled());
        });
        bench.line->write("after\n");
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 1), QStringLiteral("after"));
    });
    QCOMPARE(bench.messages.count(), 0);
}

void SelectionTest::portChangeReconnects()
{
    Bench bench;
    PseudoTerminal second;
    bench.aliases.point(6, second.slavePath());
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.choosePort(6);
        QVERIFY(bench.reconnected(2));
        QCOMPARE(onGui([&] { return bench.w.ComPort->CommPort(); }), 6);
        second.write("from six\n");
        QTRY_COMPARE(logRowCount(bench.w), 1);
        QCOMPARE(logCell(bench.w, 1, 1), QStringLiteral("from six"));
        onGui([&] {
            QTest::keyClicks(bench.w.txtcmd, "Q");
            QTest::keyClick(bench.w.txtcmd, Qt::Key_Return);
        });
        QCOMPARE(second.read(3), QByteArray("Q\r\n"));
        QCOMPARE(bench.line->readAvailable(), QByteArray());
    });
}

void SelectionTest::reconnectToAFailingPort()
{
    Bench bench;
    bench.aliases.point(9, "/dev/bvterm-no-such-device");
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.choosePort(9);
        QTRY_COMPARE(bench.messages.count(), 1);
        QCOMPARE(bench.messages.last().title, QStringLiteral("Communication Error"));
        QVERIFY(waitUntil([&] { return !onGui([&] { return bench.w.isPolling(); }); }));
        onGui([&] {
            QCOMPARE(bench.w.cmdConnect->text(), kConnectCaption);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bench.w.cmdConnect));
            QVERIFY(!bench.w.ComPort->PortOpen());
            QVERIFY(!bench.w.cmdSend->isEnabled());
        });
    });
    QCOMPARE(bench.messages.count(), 1);
}

void SelectionTest::choiceWhileDisconnectedWaitsForConnect()
{
    Bench bench;
    PseudoTerminal third;
    bench.aliases.point(3, third.slavePath());
    bench.choosePort(3);
    bench.chooseRate("1200");
    QCOMPARE(bench.w.ComPort->OpenCount(), quint64(0));
    QCOMPARE(bench.w.cmdConnect->text(), kConnectCaption);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        QCOMPARE(onGui([&] { return bench.w.ComPort->CommPort(); }), 3);
        QCOMPARE(third.baudRate(), 1200);
    });
    QCOMPARE(bench.messages.count(), 0);
}

void SelectionTest::manyReconnectsKeepOneLoop()
{
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        const quintptr before = stackPosition();
        const QString rates[] = {"19200", "9600"};
        for (int i = 0; i < 2000; ++i) {
            bench.chooseRate(rates[i % 2]);
            QVERIFY2(bench.reconnected(quint64(i + 2)), qPrintable(QString::number(i)));
        }
        const quintptr after = stackPosition();
        // Handlers still run at the same depth: no loop was left behind on the stack.
        QVERIFY2(qAbs(qint64(after) - qint64(before)) < 4096,
                 qPrintable(QStringLiteral("%1 bytes deeper").arg(qint64(before) - qint64(after))));
        QCOMPARE(bench.line->baudRate(), 9600);
        bench.line->write("still here\n");
        QTRY_COMPARE(logRowCount(bench.w), 1);
        onGui([&] {
            QTest::keyClicks(bench.w.txtcmd, "OK?");
            QTest::keyClick(bench.w.txtcmd, Qt::Key_Return);
        });
        QCOMPARE(bench.line->read(5), QByteArray("OK?\r\n"));
    });
    QCOMPARE(bench.messages.count(), 0);
}

void SelectionTest::portListReadAsItOpens()
{
    // On Windows the list also offers the system's ports above COM 12, read each time the list
    // opens; here the system's ports are handed in.
    Bench bench;
    QStringList system{"COM1", "COM20", "COM13"};
    bench.w.setPortSource([&system] { return system; });
    const auto openList = [&] {
        onGui([&] {
            bench.w.cboPort->showPopup();
            bench.w.cboPort->hidePopup();
        });
        onGui([] {}); // and whatever that queued has run
    };
    const auto listed = [&] {
        return onGui([&] {
            QStringList items;
            for (int i = 12; i < bench.w.cboPort->count(); ++i)
                items << bench.w.cboPort->itemText(i);
            return std::pair{items, bench.w.cboPort->currentText()};
        });
    };
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        openList();
        QCOMPARE(listed(), std::pair(QStringList{"COM 13", "COM 20"}, QString("COM 5")));
        // The list changed while connected: the same port stays chosen, and nothing reconnects.
        QCOMPARE(onGui([&] { return bench.w.ComPort->OpenCount(); }), quint64(1));
        QVERIFY(bench.disconnect());
        bench.choosePort(14); // COM 20, the second after COM 12
        system = {"COM14"};
        openList();
        QCOMPARE(listed(), std::pair(QStringList{"COM 14", "COM 20"}, QString("COM 20")));
        system = {};
        openList();
        QCOMPARE(listed(), std::pair(QStringList{"COM 20"}, QString("COM 20")));
        bench.choosePort(5);
        openList();
        QCOMPARE(listed(), std::pair(QStringList{}, QString("COM 5")));
    });
    QCOMPARE(bench.messages.count(), 0);
}

QTEST_MAIN(SelectionTest)
#include "tst_selection.moc"
