// The Windows build on a real COM port: COM 5 is a serial line whose other end instrument.py
// plays. It answers a command only when the line it got is exactly the command and CR LF, so
// a reply row here means the bytes went out as typed; after "TICKS?" it sends lines of its own,
// each saying when it was written. COM 7 has no device behind it.

#include "app/Captions.h"
#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"
#include "log/ResponseLogModel.h"
#include "support/Scenario.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHelpEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

class ComPortTest : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void linesAreReadAsTheyArrive_data();
    void linesAreReadAsTheyArrive();
    void portWithoutDevice();
    void portAboveTwelve();
};

void ComPortTest::exchange_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<bool>("stamp");
    QTest::addColumn<QString>("response");
    QTest::newRow("as sent") << "ID?" << false << false << "BAROVENTIS BV-SIM,0,1.0";
    QTest::newRow("stripped") << "TEMP?" << true << false << "23.45";
    QTest::newRow("stripped and stamped") << "PRES?" << true << true << "1013.25";
}

void ComPortTest::exchange()
{
    QFETCH(QString, command);
    QFETCH(bool, strip);
    QFETCH(bool, stamp);
    QFETCH(QString, response);
    QTemporaryDir folder;
    const QString saved = folder.filePath("log.txt");
    frmMain w;
    MessageLog messages(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.cboPort->setCurrentIndex(4); // COM 5
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("9600"));
    w.chkStrip->setChecked(strip);
    w.chkTimeStamp->setChecked(stamp);
    runScenario(w, [&] {
        pressConnect(w);
        QVERIFY(waitUntil([&] { return isConnected(w); }));
        postToGui([&] {
            w.txtcmd->setFocus();
            QTest::keyClicks(w.txtcmd, command);
            QTest::keyClick(w.txtcmd, Qt::Key_Return);
        });
        QVERIFY2(waitUntil([&] { return logRowCount(w) == 2; }, 10000),
                 qPrintable(QString::number(logRowCount(w))));
        pressConnect(w); // Disconnect
        QVERIFY(waitUntil([&] { return !w.isPolling(); }));
        postToGui([&] { w.cmdSave->click(); });
        QVERIFY(answerFileDialog(saved));
    });
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.last().text, "The data are in " + QDir::toNativeSeparators(saved));
    QCOMPARE(w.cmdConnect->text(), kConnectCaption);
    QCOMPARE(w.lstResponse->Row(1).Command, command);
    const LogRow reply = w.lstResponse->Row(2);
    QCOMPARE(reply.Response, response);
    const QRegularExpression timeStamp("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$");
    QCOMPARE(timeStamp.match(reply.Command).hasMatch(), stamp);

    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 7); // six lines ended by CR LF
    QCOMPARE(lines[0], QByteArray("Baroventis\xae Terminal Data Output\r"));
    QCOMPARE(lines[1], QByteArray("\r"));
    QVERIFY(lines[2].startsWith("Date:"));
    QCOMPARE(lines[3], QByteArray("\r"));
    QCOMPARE(lines[4], (command + ",\r").toLatin1());
    QCOMPARE(lines[5], (reply.Command + ',' + response + '\r').toLatin1());
}

void ComPortTest::linesAreReadAsTheyArrive_data()
{
    // What has the focus while the instrument talks: a line is read and logged at once
    // whatever it is, rather than when some other event (a caret's blink) wakes the terminal.
    QTest::addColumn<QString>("focus");
    QTest::newRow("the chart window active") << "chart";
    QTest::newRow("the caret in the command box") << "command";
    QTest::newRow("a button") << "button";
}

void ComPortTest::linesAreReadAsTheyArrive()
{
    QFETCH(QString, focus);
    constexpr int Ticks = 50; // one every 100 ms (instrument.py)
    constexpr qint64 LatestMs = 50;
    frmMain w;
    MessageLog messages(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.cboPort->setCurrentIndex(4); // COM 5
    // While the lines come, the scenario waits without calling into the window: any call would
    // wake the terminal, which then takes in what the port holds, and hide a line that waits
    // for some other event.
    QSemaphore allRead;
    QObject::connect(&w.lstResponse->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (w.lstResponse->Count() == 1 + Ticks)
            allRead.release();
    });
    runScenario(w, [&] {
        pressConnect(w);
        QVERIFY(waitUntil([&] { return isConnected(w); }));
        postToGui([&] {
            w.txtcmd->setEditText(QStringLiteral("TICKS?"));
            if (focus == QLatin1String("chart")) {
                w.mnuChart->trigger();
                w.chartWindow()->activateWindow();
            } else if (focus == QLatin1String("command")) {
                w.txtcmd->setFocus();
            } else {
                w.cmdSend->setFocus();
            }
        });
        if (focus == QLatin1String("chart"))
            QVERIFY(waitUntil([&] {
                return onGui([&] {
                    return w.chartWindow() && QApplication::activeWindow() == w.chartWindow();
                });
            }));
        postToGui([&] { w.cmdSend_Click(); });
        QVERIFY2(allRead.tryAcquire(1, 20000), qPrintable(QString::number(logRowCount(w))));
    });
    QCOMPARE(messages.count(), 0);
    // Each row is stamped when its line was read: at most LatestMs after the instrument wrote
    // it (both clocks are this machine's).
    const ResponseLogModel& log = w.lstResponse->model();
    QList<qint64> lates;
    for (int row = 1; row <= Ticks; ++row) {
        const QStringList tick = log.row(row).Response.split(QLatin1Char(' '));
        QCOMPARE(tick.size(), 3);
        QCOMPARE(tick[1], QString::number(row));
        const qint64 late = log.stamp(row).msecsSinceEpoch() - tick[2].toLongLong();
        QVERIFY2(late <= LatestMs,
                 qPrintable(
                     QStringLiteral("line %1 read %2 ms after it was written").arg(row).arg(late)));
        lates << late;
    }
    std::sort(lates.begin(), lates.end());
    qInfo("%d lines read %lld ms (median) and %lld ms (latest) after they were written", Ticks,
          lates[Ticks / 2], lates.last());
}

void ComPortTest::portWithoutDevice()
{
    frmMain w;
    MessageLog messages(w);
    w.cboPort->setCurrentIndex(6); // COM 7
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), w.cboPort->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w.cboPort, &hover);
    QCOMPARE(w.cboPort->toolTip(), QStringLiteral("COM 7 is the Windows port \\\\.\\COM7"));
    w.cmdConnect->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.last().title, QStringLiteral("Communication Error"));
    QCOMPARE(messages.last().icon, QMessageBox::Warning);
    QVERIFY2(messages.last().text.startsWith("COM 7 (\\\\.\\COM7) does not exist."),
             qPrintable(messages.last().text));
    QCOMPARE(w.cmdConnect->text(), kConnectCaption);
}

void ComPortTest::portAboveTwelve()
{
    // Run as tst_comport_above_12, with the instrument on COM 13: the list offers it after
    // COM 12, as Windows reports it, and it is used as the others are.
    if (qEnvironmentVariableIsEmpty("BVTERM_COM_ABOVE_12"))
        QSKIP("the instrument is on COM 13 only in tst_comport_above_12");
    frmMain w;
    MessageLog messages(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.cboPort->count(), 13);
    QCOMPARE(w.cboPort->itemText(12), QStringLiteral("COM 13"));
    w.cboPort->setCurrentIndex(12);
    runScenario(w, [&] {
        pressConnect(w);
        QVERIFY(waitUntil([&] { return isConnected(w); }));
        postToGui([&] {
            w.txtcmd->setFocus();
            QTest::keyClicks(w.txtcmd, "ID?");
            QTest::keyClick(w.txtcmd, Qt::Key_Return);
        });
        QVERIFY2(waitUntil([&] { return logRowCount(w) == 2; }, 10000),
                 qPrintable(QString::number(logRowCount(w))));
    });
    QCOMPARE(messages.count(), 0);
    QCOMPARE(w.lstResponse->Row(2).Response, QStringLiteral("BAROVENTIS BV-SIM,0,1.0"));
}

QTEST_MAIN(ComPortTest)
#include "tst_comport.moc"
