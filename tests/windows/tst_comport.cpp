// The Windows build on a real COM port: COM 5 is a serial line whose other end instrument.py
// plays. It answers a command only when the line it got is exactly the command and CR LF, so
// a reply row here means the bytes went out as typed. COM 7 has no device behind it.

#include "app/Captions.h"
#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "support/Scenario.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHelpEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class ComPortTest : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
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
