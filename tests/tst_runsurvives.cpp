// A measurement run that outlives what goes wrong at a bench: the device going away and coming
// back, the buttons pressed while it waits, a stream file that fails, a terminal that is killed.
// Through the real window against pseudo-terminals; nothing may wait for a click meanwhile.

#include "app/Captions.h"
#include "log/ResponseListView.h"
#include "run/RunSession.h"
#include "support/RunBench.h"

#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

namespace {

const QString kLinkLost = QStringLiteral(
    "link lost=COM 5 (DEVICE) was disconnected: the device went away or the other end hung up.");

// The instrument's part: <CMD waits for the command and >TEXT answers it.
void play(PseudoTerminal& line, const QString& script)
{
    for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
        if (step.startsWith(u'<'))
            QCOMPARE(line.readUntil("\r\n"), step.mid(1).toLatin1() + "\r\n");
        else if (step.startsWith(u'>'))
            line.write(step.mid(1).toLatin1() + "\r\n");
    }
}

// The cycles that fell due between the last command sent before the link was lost and the
// `resumed` row, from the rows' own times: what that row should count.
int cyclesInTheGap(const QString& path, double periodSeconds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    double lastSent = 0;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))) {
        const QStringList f = csvFields(line);
        if (f.size() != 7)
            continue;
        if (f[6] == QLatin1String("ok") || f[6] == QLatin1String("no reply"))
            lastSent = f[1].toDouble();
        if (f[6] == QLatin1String("resumed"))
            return int(std::floor(f[1].toDouble() / periodSeconds)) -
                   int(std::floor(lastSent / periodSeconds));
    }
    return -1;
}

} // namespace

class RunSurvivesTest : public QObject {
    Q_OBJECT
private slots:
    void deviceGoesAndComesBack_data();
    void deviceGoesAndComesBack();
    void whileWaitingForTheDevice_data();
    void whileWaitingForTheDevice();
    void streamFileFailsDuringARun();
    void killedTerminal();
};

void RunSurvivesTest::deviceGoesAndComesBack_data()
{
    QTest::addColumn<QString>("before"); // the instrument's part before it hangs up
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("while a command waits") << "<A" << QStringList{"no reply A", kLinkLost};
    QTest::newRow("between cycles") << "<A >1 <B >2" << QStringList{"ok A=1", "ok B=2", kLinkLost};
}

void RunSurvivesTest::deviceGoesAndComesBack()
{
    QFETCH(QString, before);
    QFETCH(QStringList, rows);
    RunBench bench;
    bench.define(QStringLiteral("A\nB"), QStringLiteral("0.5"), QStringLiteral("0.3"), bench.csv);
    runScenario(bench.w, [&] {
        bench.pressStart();
        play(*bench.line, before);
        // Whatever the instrument answered is in before it hangs up.
        QVERIFY(bench.waitForRows(1 + int(rows.filter(QStringLiteral("ok ")).size())));
        bench.line->hangUp();
        QVERIFY(bench.waitForRows(int(rows.size()) + 1));
        QCOMPARE(bench.rows().mid(1), rows);
        // The terminal shows the disconnected state, the run goes on, and nobody is asked.
        QVERIFY(waitUntil(
            [&] { return onGui([&] { return bench.w.cmdConnect->text() == kConnectCaption; }); }));
        QVERIFY(bench.running());
        QCOMPARE(bench.messages.count(), 0);
        QCOMPARE(logCell(bench.w, logRowCount(bench.w), 1),
                 kLinkLost.mid(10).replace(QLatin1String("DEVICE"), bench.line->slavePath()));
        // Back behind the alias: reconnected within a try, the run goes on at its next due time.
        bench.line = std::make_unique<PseudoTerminal>();
        bench.aliases.point(5, bench.line->slavePath());
        play(*bench.line, QStringLiteral("<A >3 <B >4"));
        QVERIFY(bench.waitForRows(int(rows.size()) + 4));
        const QStringList after = bench.rows().mid(int(rows.size()) + 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^resumed [0-9]+$")).match(after[0]).hasMatch(),
                 qPrintable(after[0]));
        QCOMPARE(after.mid(1), (QStringList{"ok A=3", "ok B=4"}));
        QCOMPARE(after[0], QStringLiteral("resumed %1").arg(cyclesInTheGap(bench.csv, 0.5)));
        QCOMPARE(bench.messages.count(), 0);
        QVERIFY(isConnected(bench.w));
    });
}

void RunSurvivesTest::whileWaitingForTheDevice_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("last"); // the run's last row
    QTest::newRow("Connect pressed with the device back") << "connect"
                                                          << "ok A=1";
    QTest::newRow("Stop pressed") << "stop"
                                  << "stopped (Stop pressed)";
    QTest::newRow("the port changed") << "port"
                                      << "stopped (port or rate changed)";
    QTest::newRow("the terminal closed") << "close"
                                         << "stopped (terminal closed)";
}

void RunSurvivesTest::whileWaitingForTheDevice()
{
    QFETCH(QString, action);
    QFETCH(QString, last);
    RunBench bench;
    // A long period: the automatic tries (every 2 s) find no device, the action decides.
    bench.define(QStringLiteral("A"), QStringLiteral("60"), QStringLiteral("0.3"), bench.csv);
    runScenario(bench.w, [&] {
        bench.pressStart();
        play(*bench.line, QStringLiteral("<A"));
        bench.aliases.point(5, QStringLiteral("/dev/pts/999999"));
        bench.line->hangUp();
        QVERIFY(waitUntil([&] { return bench.rows().contains(kLinkLost); }));
        QVERIFY(waitUntil(
            [&] { return onGui([&] { return bench.w.runSession()->isReconnecting(); }); }));
        if (action == QLatin1String("connect")) {
            bench.line = std::make_unique<PseudoTerminal>();
            bench.aliases.point(5, bench.line->slavePath());
            pressConnect(bench.w);
            // Cycle 0 took the time-out; cycle 1 falls due in a minute, so A is typed here.
            QVERIFY(waitUntil([&] { return isConnected(bench.w); }));
            onGui([&] { bench.w.txtcmd->setEditText(QStringLiteral("A")); });
            postToGui([&] { bench.w.cmdSend->click(); });
            play(*bench.line, QStringLiteral("<A >1"));
        } else if (action == QLatin1String("stop")) {
            bench.pressStart();
        } else if (action == QLatin1String("port")) {
            onGui([&] { bench.w.cboPort->setCurrentIndex(5); });
        } else {
            onGui([&] { bench.w.close(); });
        }
        QVERIFY(waitUntil([&] { return bench.rows().value(bench.rows().size() - 1) == last; }));
        QCOMPARE(bench.messages.count(), 0);
    });
    const QStringList rows = bench.rows();
    QCOMPARE(rows.mid(1, 2), (QStringList{"no reply A", kLinkLost}));
    if (action == QLatin1String("connect"))
        QCOMPARE(rows.value(3), QStringLiteral("resumed 0"));
}

void RunSurvivesTest::streamFileFailsDuringARun()
{
    RunBench bench;
    bench.define(QStringLiteral("A"), QStringLiteral("0.5"), QStringLiteral("0.3"), bench.csv);
    QTemporaryDir gone;
    const QString stream = gone.filePath(QStringLiteral("stream.txt"));
    bench.streamTo(stream);
    runScenario(bench.w, [&] {
        bench.pressStart();
        play(*bench.line, QStringLiteral("<A >1"));
        QVERIFY(bench.waitForRows(2));
        QVERIFY(gone.remove());
        play(*bench.line, QStringLiteral("<A >2 <A >3"));
        QVERIFY(bench.waitForRows(5));
        bench.pressStart();
        QVERIFY(bench.waitForRows(6));
    });
    // No box: the failure is a notice in the log and in the CSV file, and the run went on.
    QCOMPARE(bench.messages.count(), 0);
    const QString failure = bench.rows().value(2);
    QVERIFY2(
        failure.startsWith(QStringLiteral("notice=Could not write to the stream file ") + stream),
        qPrintable(failure));
    // The reply whose streaming failed completes its row after the notice.
    QCOMPARE(bench.rows(), (QStringList{bench.rows()[0], "ok A=1", failure, "ok A=2", "ok A=3",
                                        "stopped (Stop pressed)"}));
    QStringList log = bench.responses();
    QVERIFY(log.contains(failure.mid(7)));
    QVERIFY(log.contains(QStringLiteral("Data streaming canceled. ")));
}

void RunSurvivesTest::killedTerminal()
{
    // Killed in the middle of a run, the terminal leaves whole lines; the next run appends.
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(5, line.slavePath());
    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("run.csv"));
    for (int run = 0; run < 2; ++run) {
        QProcess bvterm;
        QVERIFY(
            startRunFromCommandLine(bvterm, QStringLiteral(BVTERM_PATH), folder.path(),
                                    "[Run]\nPort=5\nBaudRate=9600\nTimeoutSeconds=5\nEvery=0.1\n"
                                    "ReplyTimeout=0.05\nCycles=0\nCsvFile=run.csv\nCommand1=A\n"));
        // Answered or not, rows pile up: kill it while it writes them.
        QTRY_VERIFY_WITH_TIMEOUT(csvRows(csv).size() >= (run + 1) * 20, 20000);
        ::kill(bvterm.processId(), SIGKILL);
        bvterm.waitForFinished();
        line.readAvailable();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.endsWith("\r\n"));
        const QList<QByteArray> lines = bytes.chopped(1).split('\n');
        for (const QByteArray& whole : lines) {
            QVERIFY2(whole.endsWith('\r'), whole.constData());
            QCOMPARE(csvFields(QString::fromUtf8(whole.chopped(1))).size(), 7);
        }
        QCOMPARE(int(std::count_if(lines.begin(), lines.end(),
                                   [](const QByteArray& l) { return l.endsWith(",started\r"); })),
                 run + 1);
    }
}

QTEST_MAIN(RunSurvivesTest)
#include "tst_runsurvives.moc"
