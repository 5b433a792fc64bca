// Faults over real pseudo-terminals and real files: each case checks what the user is told,
// that the terminal is still usable afterwards, and that no received line is lost.

#include "app/Captions.h"
#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "serial/SerialPortControl.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Bench : TerminalBench {
    QTemporaryDir dir;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QStringList kAsNobody = {"--reuid=65534", "--regid=65534", "--clear-groups"};

// Whether the probe can run as an unprivileged user: root opens and writes any file whatever its
// mode, so as root it runs as nobody.
bool probeCanRunUnprivileged()
{
    if (::geteuid() != 0)
        return true;
    QProcess check;
    check.start("setpriv", kAsNobody + QStringList{"true"});
    return check.waitForFinished(10000) && check.exitStatus() == QProcess::NormalExit &&
           check.exitCode() == 0;
}

void startProbe(QProcess& probe, const QStringList& arguments)
{
    if (::geteuid() == 0)
        probe.start("setpriv",
                    kAsNobody + QStringList{QStringLiteral(BVTERM_FAULT_PROBE)} + arguments);
    else
        probe.start(QStringLiteral(BVTERM_FAULT_PROBE), arguments);
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void instrumentHangsUp_data();
    void instrumentHangsUp();
    void busyPort();
    void permissionDenied_data();
    void permissionDenied();
    void promptFolderAsAnotherUser_data();
    void promptFolderAsAnotherUser();
    void streamFolderDisappears();
    void streamToAFullDisk_data();
    void streamToAFullDisk();
    void closeDuringARead();
    void closeDuringAModalBox();
    void closeDuringAReconnect_data();
    void closeDuringAReconnect();
    void hangUpWithLinesStillBuffered();
    void closeWhileLinesWaitToBeStreamed();
    void connectAndDisconnectInQuickSuccession();
};

void FaultsTest::initTestCase()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void FaultsTest::instrumentHangsUp_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("between lines") << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("in the middle of a line") << QByteArray("one\r\ntwo\r\nthr");
}

void FaultsTest::instrumentHangsUp()
{
    QFETCH(QByteArray, before);
    Bench bench;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write(before);
        QTRY_COMPARE(logRowCount(bench.w), 2);
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        bench.line->releaseSlave();
        bench.line->hangUp();
        QTRY_COMPARE(bench.messages.count(), 1);
        QCOMPARE(bench.messages.last().title, QStringLiteral("Error"));
        QVERIFY2(bench.messages.last().text.contains("was disconnected"),
                 qPrintable(bench.messages.last().text));
        QCOMPARE(bench.responses(), QStringList({"one", "two"}));
        // Nobody reads the port any more: it holds a bounded amount again.
        QCOMPARE(onGui([&] { return bench.w.ComPort->InBufferSize(); }),
                 SerialPortControl::DefaultInBufferSize);
        QVERIFY(bench.usable());
    });
    QCOMPARE(bench.messages.count(), 1);
}

void FaultsTest::busyPort()
{
    Bench bench;
    SerialPortControl other;
    other.setCommPort(5);
    other.setPortOpen(true);
    runScenario(bench.w, [&] {
        pressConnect(bench.w);
        QTRY_COMPARE(bench.messages.count(), 1);
        QCOMPARE(bench.messages.last().title, QStringLiteral("Communication Error"));
        QCOMPARE(bench.messages.last().text,
                 "COM 5 (" + bench.line->slavePath() + ") is in use by another program.");
        QCOMPARE(onGui([&] { return bench.w.cmdConnect->text(); }), kConnectCaption);
        onGui([&] { other.setPortOpen(false); });
        QVERIFY(bench.usable());
    });
}

void FaultsTest::permissionDenied_data()
{
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("groupAdvice"); // the group may read and write: join it
    QTest::newRow("only the owner may read") << 0400u << false;
    QTest::newRow("the group may read and write") << 0660u << true;
}

void FaultsTest::permissionDenied()
{
    QFETCH(uint, mode);
    QFETCH(bool, groupAdvice);
    // Root opens any device whatever its mode, so the connect runs as an unprivileged user.
    if (!probeCanRunUnprivileged())
        QSKIP("no program can be run here as another user (setpriv)");
    if (::geteuid() != 0 && groupAdvice)
        QSKIP("only root can give the device to a group the probe is not in");
    PseudoTerminal line;
    QTemporaryDir home;
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther);
    const QString ports = home.path() + "/bvterm/ports";
    QVERIFY(QDir().mkpath(ports));
    for (const QString& folder : {home.path() + "/bvterm", ports})
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    QVERIFY(QFile::link(line.slavePath(), ports + "/com8"));
    const QByteArray device = QFile::encodeName(line.slavePath());
    if (groupAdvice)
        QCOMPARE(::chown(device.constData(), 0, 20), 0); // a group the probe is not in
    QCOMPARE(::chmod(device.constData(), mode), 0);
    const QFileInfo info(line.slavePath());

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", home.path());
    probe.setProcessEnvironment(environment);
    startProbe(probe, {"8"});
    QVERIFY(probe.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(probe.readAllStandardError());
    QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0,
             qPrintable(errors));
    const QStringList lines =
        QString::fromLocal8Bit(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString denied =
        "Communication Error\tPermission denied for COM 8 (" + line.slavePath() + "). ";
    const QString told =
        groupAdvice
            ? denied + "Join the group that owns the device (" + info.group() +
                  "), for example with \"sudo usermod -aG " + info.group() +
                  " $USER\", then log out and in again."
            : denied + "The device belongs to the user " + info.owner() + " and the group " +
                  info.group() +
                  " with the mode cr--------, which lets no group read and write it: ask the "
                  "administrator of this computer for access to it.";
    QCOMPARE(lines, QStringList({told, "caption\t" + kConnectCaption}));
}

void FaultsTest::promptFolderAsAnotherUser_data()
{
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("there"); // the prompt starts in the program's folder
    QTest::newRow("a folder the user may write") << 0777u << true;
    QTest::newRow("a folder the user may not write (0555)") << 0555u << false;
}

void FaultsTest::promptFolderAsAnotherUser()
{
    // An installed program's folder exists but is the administrator's: the prompt starts in the
    // user's documents folder, or their home folder without one.
    QFETCH(uint, mode);
    QFETCH(bool, there);
    if (!probeCanRunUnprivileged())
        QSKIP("no program can be run here as another user (setpriv)");
    QTemporaryDir program;
    QTemporaryDir home; // without a documents folder
    QCOMPARE(::chmod(QFile::encodeName(program.path()).constData(), mode), 0);
    QCOMPARE(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.path());
    probe.setProcessEnvironment(environment);
    startProbe(probe, {"--prompt-folder", program.path()});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(QString::fromLocal8Bit(probe.readAllStandardOutput()),
             "folder\t" + (there ? program.path() : home.path()) + "\n");
}

void FaultsTest::streamFolderDisappears()
{
    Bench bench;
    const QString folder = bench.dir.filePath("run");
    QVERIFY(QDir().mkpath(folder));
    const QString stream = folder + "/stream.txt";
    runScenario(bench.w, [&] {
        postToGui([&] { bench.w.chkStream->click(); });
        QVERIFY(answerFileDialog(stream));
        QVERIFY(bench.connect());
        bench.line->write("first\r\n");
        QTRY_COMPARE(readFile(stream), QByteArray("first\r\n"));
        QVERIFY(QDir(folder).removeRecursively());
        bench.line->write("second\r\n");
        QTRY_COMPARE(bench.messages.count(), 1);
        QCOMPARE(bench.messages.last().title, QStringLiteral("Error"));
        QVERIFY2(bench.messages.last().text.contains(stream) &&
                     bench.messages.last().text.contains("No such file or directory"),
                 qPrintable(bench.messages.last().text));
        // The line that could not be streamed is in the log, and streaming is off as if the
        // user had cleared the box: the terminal goes on reading, into the log.
        bench.line->write("third\r\n");
        QTRY_COMPARE(bench.responses(),
                     QStringList({"Data is going to be streamed to " + stream, "second",
                                  "Data streaming canceled. ", "third"}));
        QVERIFY(!onGui([&] { return bench.w.chkStream->isChecked(); }));
        QCOMPARE(onGui([&] { return bench.w.cmdConnect->text(); }), kDisconnectCaption);
        QVERIFY(bench.usable());
    });
}

void FaultsTest::streamToAFullDisk_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("file size limit reached") << "LIMIT"
                                             << "File too large";
    QTest::newRow("device without space") << "/dev/full"
                                          << "No space left on device";
}

void FaultsTest::streamToAFullDisk()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    Bench bench;
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const bool limited = target == "LIMIT";
    if (limited) {
        target = bench.dir.filePath("stream.txt");
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4090, 'x'));
    }
    bench.streamTo(target);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        rlimit small = previous;
        small.rlim_cur = 4096;
        if (limited)
            setrlimit(RLIMIT_FSIZE, &small);
        bench.line->write("0123456789\r\n");
        QTRY_COMPARE(bench.messages.count(), 1);
        setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY2(bench.messages.last().text.contains(reason),
                 qPrintable(bench.messages.last().text));
        QCOMPARE(bench.responses(), QStringList({"0123456789", "Data streaming canceled. "}));
        QVERIFY(bench.usable());
    });
    setrlimit(RLIMIT_FSIZE, &previous);
    if (limited)
        QCOMPARE(readFile(target).size(), 4090);
}

void FaultsTest::closeDuringARead()
{
    Bench bench;
    const QString stream = bench.dir.filePath("stream.txt");
    bench.streamTo(stream);
    onGui([&] { bench.w.state().TimeoutSeconds = 99; });
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("A\r\nB\r\npart");
        QTRY_COMPARE(readFile(stream), QByteArray("A\r\nB\r\n"));
        QTRY_COMPARE(onGui([&] { return bench.w.ComPort->InBufferCount(); }), 0);
        postToGui([&] { bench.w.close(); });
        // The program ends at once, not after the 99 s of the read in progress.
        QTRY_VERIFY_WITH_TIMEOUT(onGui([&] { return bench.w.hasEndedProgram(); }), 5000);
        QVERIFY(!onGui([&] { return bench.w.ComPort->PortOpen(); }));
    });
    QCOMPARE(readFile(stream), QByteArray("A\r\nB\r\n")); // nothing invented for the cut line
    QCOMPARE(bench.messages.count(), 0);
}

void FaultsTest::closeDuringAModalBox()
{
    Bench bench;
    bench.w.setMessageSink({}); // real modal boxes
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->releaseSlave();
        bench.line->hangUp();
        // The polling loop's Error box is up; the window is closed behind it.
        QVERIFY(waitUntil([] {
            return onGui([] {
                return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
            });
        }));
        QCOMPARE(
            onGui([] {
                return static_cast<QMessageBox*>(QApplication::activeModalWidget())->windowTitle();
            }),
            QStringLiteral("Error"));
        postToGui([&] { bench.w.close(); });
        QVERIFY(waitUntil([&] { return onGui([&] { return bench.w.state().Unloading; }); }));
        postToGui([] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Ok)->click();
        });
        QTRY_VERIFY(onGui([&] { return bench.w.hasEndedProgram(); }));
        QVERIFY(!onGui([&] { return bench.w.ComPort->PortOpen(); }));
    });
}

void FaultsTest::closeDuringAReconnect_data()
{
    // The command box's text at the moment the window is closed.
    QTest::addColumn<QString>("closeWhen");
    QTest::addColumn<quint64>("opens");
    QTest::newRow("during the disconnect half") << kCommandPromptAfterDisconnect << quint64(1);
    QTest::newRow("during the connect half") << QString() << quint64(2);
}

void FaultsTest::closeDuringAReconnect()
{
    QFETCH(QString, closeWhen);
    QFETCH(quint64, opens);
    Bench bench;
    bool closed = false;
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        bench.line->write("before\n");
        QTRY_COMPARE(logRowCount(bench.w), 1);
        onGui([&] {
            QObject::connect(bench.w.txtcmd, &QComboBox::editTextChanged, &bench.w,
                             [&](const QString& text) {
                                 if (text == closeWhen && !closed) {
                                     closed = true;
                                     bench.w.close();
                                 }
                             });
            bench.w.cboBaudRate->setCurrentText("19200"); // queues a disconnect and a connect
        });
        QTRY_VERIFY(onGui([&] { return bench.w.hasEndedProgram(); }));
        QVERIFY(waitUntil([&] { return !onGui([&] { return bench.w.isPolling(); }); }));
    });
    QVERIFY(closed);
    QCOMPARE(bench.w.ComPort->OpenCount(), opens);
    QVERIFY(!bench.w.ComPort->PortOpen());
    QCOMPARE(bench.messages.count(), 0);
}

// A burst of lines of 12 bytes each, "line 00000\r\n" on.
QByteArray burstOfLines(int count)
{
    QByteArray burst;
    for (int i = 0; i < count; ++i)
        burst += "line " + QByteArray::number(i).rightJustified(5, '0') + "\r\n";
    return burst;
}

void FaultsTest::hangUpWithLinesStillBuffered()
{
    Bench bench;
    const QByteArray burst = burstOfLines(30000);
    QStringList lines;
    for (const QByteArray& line : burst.split('\n'))
        if (!line.isEmpty())
            lines << QString::fromLatin1(line.chopped(1));
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        // The burst arrives while the window handles an event of its own, which lets the port
        // take in what comes but keeps the loop from logging it: the terminal has taken the
        // lines from the line but not logged them all yet, however fast it logs. (What the
        // system still passes along at that moment is thrown away by the hang-up.)
        std::atomic<bool> written{false};
        std::thread instrument([&] {
            bench.line->write(burst);
            written = true;
        });
        const auto [logged, buffered] = onGui([&] {
            const QDeadlineTimer deadline(30000);
            while ((!written || bench.line->queuedForTerminal() != 0) && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const std::pair<int, int> held{bench.w.lstResponse->Count(),
                                           bench.w.ComPort->InBufferCount()};
            bench.line->releaseSlave();
            bench.line->hangUp();
            return held;
        });
        instrument.join();
        QVERIFY2(buffered >= 12, "every line was logged before the hang-up");
        QTRY_COMPARE_WITH_TIMEOUT(bench.messages.count(), 1, 60000);
        // Every complete line the terminal held arrived, in order, before the box.
        const QStringList responses = bench.responses();
        QCOMPARE(responses, lines.mid(0, responses.size()));
        QVERIFY2(responses.size() * 12 >= logged * 12 + buffered - 11,
                 qPrintable(QStringLiteral("%1 rows, %2 + %3 bytes held at the hang-up")
                                .arg(responses.size())
                                .arg(logged)
                                .arg(buffered)));
        QVERIFY2(bench.messages.last().text.contains("was disconnected"),
                 qPrintable(bench.messages.last().text));
        QCOMPARE(onGui([&] { return bench.w.cmdConnect->text(); }), kConnectCaption);
    });
}

void FaultsTest::closeWhileLinesWaitToBeStreamed()
{
    Bench bench;
    const QString stream = bench.dir.filePath("stream.txt");
    bench.streamTo(stream);
    const QByteArray burst = burstOfLines(20000);
    runScenario(bench.w, [&] {
        QVERIFY(bench.connect());
        // The burst arrives while the window handles an event of its own, so that the port
        // takes it in but the loop cannot stream it yet, however fast it streams.
        std::atomic<bool> sent{false};
        std::thread instrument([&] {
            bench.line->write(burst + "part");
            sent = true;
        });
        const auto [streamed, waiting] = onGui([&] {
            const QDeadlineTimer deadline(30000);
            while ((!sent || bench.line->queuedForTerminal() != 0) && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const std::pair<qint64, int> held{QFileInfo(stream).size(),
                                              bench.w.ComPort->InBufferCount()};
            bench.w.close();
            return held;
        });
        instrument.join();
        QVERIFY2(waiting >= 16, "every line was streamed before the close");
        QTRY_VERIFY_WITH_TIMEOUT(onGui([&] { return bench.w.hasEndedProgram(); }), 60000);
        // Every complete line the terminal held is in the file once, in order; the unfinished
        // one is not.
        const QByteArray written = readFile(stream);
        QCOMPARE(written, burst.left(written.size()));
        QVERIFY(written.endsWith("\r\n"));
        QVERIFY2(written.size() >= streamed + waiting - 11 - 4,
                 qPrintable(QStringLiteral("%1 bytes in the file, %2 + %3 held at the close")
                                .arg(written.size())
                                .arg(streamed)
                                .arg(waiting)));
    });
    QCOMPARE(bench.messages.count(), 0);
}

void FaultsTest::connectAndDisconnectInQuickSuccession()
{
    Bench bench;
    runScenario(bench.w, [&] {
        for (int i = 0; i < 1000; ++i)
            postToGui([&] { bench.w.cmdConnect->click(); });
        QVERIFY(waitUntil(
            [&] {
                return onGui([&] {
                    return bench.w.ComPort->OpenCount() == 500 && !bench.w.isPolling() &&
                           bench.w.cmdConnect->text() == kConnectCaption;
                });
            },
            60000));
        QVERIFY(!onGui([&] { return bench.w.ComPort->PortOpen(); }));
        QCOMPARE(bench.messages.count(), 0);
        QVERIFY(bench.usable());
    });
}

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
