// The simulated instrument: its replies, its options, its alias, and the program itself.

#include "exchange/ValueStripping.h"
#include "serial/DeviceHolders.h"
#include "serial/PortNames.h"
#include "serial/SerialPortControl.h"
#include "sim/InstrumentModel.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"
#include "sim/SimulatorAlias.h"
#include "support/PortAliases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString linkTarget(const QString& path)
{
    return QFileInfo(path).symLinkTarget();
}

// Reads what the line holds for whoever opens `fd`, without waiting.
QByteArray readAvailable(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, count);
    return bytes;
}

} // namespace

class SimulatorTest : public QObject {
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void unitSetting();
    void options_data();
    void options();
    void aliasLifecycle();
    void claims_data();
    void claims();
    void killedSimulatorIsReplaced();
    void suggestion_data();
    void suggestion();
    void unreadRepliesAreLost();
    void answersOverTheLine_data();
    void answersOverTheLine();
    void theProgram();
    void inUseNamesTheOtherPrograms_data();
    void inUseNamesTheOtherPrograms();
};

void SimulatorTest::replies_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("valueAt"); // where the value starts in the reply; -1: no number
    QTest::newRow("identity") << "ID?"
                              << "^Baroventis BV-SIM 100" << -1;
    QTest::newRow("lower case") << "id?"
                                << "^Baroventis BV-SIM 100" << -1;
    QTest::newRow("name and _") << "TEMP?"
                                << R"(^TEMP_\d+\.\d\d$)" << 5;
    QTest::newRow("= within 8") << "PRES?"
                                << R"(^PRESS  =\d+\.\d\d$)" << 8;
    QTest::newRow("5-character prefix") << "VOLT?"
                                        << R"(^VOLT \d+\.\d{4}$)" << 5;
    QTest::newRow("reading") << "READ?"
                             << R"(^RDG: \d+\.\d{6}$)" << 5;
    QTest::newRow("unknown") << "bogus"
                             << "^ERROR: unknown command bogus$" << -1;
    QTest::newRow("blanks around") << "  TEMP?  "
                                   << R"(^TEMP_)" << 5;
}

void SimulatorTest::replies()
{
    QFETCH(QString, command);
    QFETCH(QString, pattern);
    QFETCH(int, valueAt);
    InstrumentModel model;
    const InstrumentModel::Reply reply = model.respond(command);
    QCOMPARE(reply.lines.size(), 1);
    QVERIFY(reply.unterminated.isEmpty());
    const QString line = reply.lines.first();
    QVERIFY2(QRegularExpression(pattern).match(line).hasMatch(), qPrintable(line));
    if (valueAt >= 0) {
        // Stripping finds exactly the value the instrument put behind its prefix.
        const double value = line.mid(valueAt).toDouble();
        QCOMPARE(stripReplyValue(line), formatNumber(value));
    }
}

void SimulatorTest::unitSetting()
{
    InstrumentModel model;
    QCOMPARE(model.respond("UNIT?").lines, QStringList{"UNIT_C"});
    const double celsius = model.respond("TEMP?").lines.first().mid(5).toDouble();
    QCOMPARE(model.respond("unit k").lines, QStringList{"OK"});
    QCOMPARE(model.respond("UNIT?").lines, QStringList{"UNIT_K"});
    const double kelvin = model.respond("TEMP?").lines.first().mid(5).toDouble();
    QVERIFY(qAbs(kelvin - celsius - 273.15) < 1.0);
    // Fahrenheit of the same temperature: a model with the same seed drifts alike, and each
    // reply is rounded to 0.01.
    InstrumentModel same;
    QCOMPARE(same.respond("UNIT F").lines, QStringList{"OK"});
    const double fahrenheit = same.respond("TEMP?").lines.first().mid(5).toDouble();
    QVERIFY2(qAbs(fahrenheit - (celsius * 9 / 5 + 32)) <= 0.03,
             qPrintable(QStringLiteral("%1 C gave %2 F").arg(celsius).arg(fahrenheit)));
    QVERIFY(model.respond("UNIT X").lines.first().startsWith("ERROR"));
    QVERIFY(model.respond("").lines.isEmpty());
    QCOMPARE(model.respond("HELP?").lines, InstrumentModel::commandHelp());
    const InstrumentModel::Reply stall = model.respond("STALL?");
    QVERIFY(stall.lines.isEmpty());
    QVERIFY(!stall.unterminated.isEmpty());
}

void SimulatorTest::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("com");
    QTest::addColumn<int>("talk");
    QTest::addColumn<bool>("lineFeedOnly");
    QTest::newRow("defaults") << QStringList{} << true << 5 << 0 << false;
    QTest::newRow("all") << QStringList{"--com",   "12",  "--talk",     "250", "--delay", "10",
                                        "--stall", "300", "--line-end", "lf",  "--seed",  "7"}
                         << true << 12 << 250 << true;
    QTest::newRow("COM 0") << QStringList{"--com", "0"} << false << 5 << 0 << false;
    QTest::newRow("COM 13") << QStringList{"--com", "13"} << false << 5 << 0 << false;
    QTest::newRow("missing number") << QStringList{"--talk"} << false << 5 << 0 << false;
    QTest::newRow("not a number") << QStringList{"--delay", "soon"} << false << 5 << 0 << false;
    QTest::newRow("bad ending") << QStringList{"--line-end", "cr"} << false << 5 << 0 << false;
    QTest::newRow("unknown") << QStringList{"--fast"} << false << 5 << 0 << false;
}

void SimulatorTest::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    QFETCH(int, com);
    QFETCH(int, talk);
    QFETCH(bool, lineFeedOnly);
    SimOptions options;
    QString error;
    QCOMPARE(parseSimOptions(arguments, &options, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (ok) {
        QCOMPARE(options.com, com);
        QCOMPARE(options.talkMs, talk);
        QCOMPARE(options.lineFeedOnly, lineFeedOnly);
    }
    QVERIFY(simUsage().contains("--talk") && simUsage().contains("TEMP?"));
}

void SimulatorTest::aliasLifecycle()
{
    PortAliases aliases;
    const QString alias = PortNames::simulatorAliasPath(5);
    QCOMPARE(alias, aliases.runtimeFolder() + "/bvterm/ports/com5");
    {
        SimOptions options;
        Simulator simulator(options);
        QString error;
        QVERIFY2(simulator.start(&error), qPrintable(error));
        QCOMPARE(simulator.aliasPath(), alias);
        QCOMPARE(linkTarget(alias), simulator.devicePath());
        QCOMPARE(PortNames::sourceOf(5), PortNames::Source::Simulator);
        QCOMPARE(PortNames::describe(5), simulator.devicePath());
        // Published for the session only, never among the user's own aliases.
        QCOMPARE(QDir(aliases.folder())
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList());
        // The runtime folders are this user's alone.
        for (const QString& folder :
             {PortNames::simulatorBaseFolder(), PortNames::simulatorFolder()}) {
            struct stat info {};
            QVERIFY(::stat(QFile::encodeName(folder).constData(), &info) == 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0700));
        }
    }
    // Removed on the way out, with its lock.
    QCOMPARE(QDir(PortNames::simulatorFolder())
                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(PortNames::sourceOf(5), PortNames::Source::BuiltIn);
    {
        // An alias that someone else has put in its place since is left alone.
        SimOptions options;
        Simulator simulator(options);
        QString error;
        QVERIFY(simulator.start(&error));
        QVERIFY(QFile::remove(alias));
        QVERIFY(QFile::link("/dev/null", alias));
        simulator.stop();
        QCOMPARE(linkTarget(alias), QStringLiteral("/dev/null"));
    }
}

void SimulatorTest::claims_data()
{
    // What stands at COM 5 before the simulator starts. In the messages, %data and %run are
    // the user's and the simulator's alias folders, %device the other simulator's device and
    // %pid this process.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << "nothing"
                             << "published"
                             << "";
    QTest::newRow("user's alias")
        << "user alias"
        << "taken"
        << "COM 5 is taken by your alias %data/com5, which points at "
           "/dev/serial/by-id/usb-Test_Adapter-if00-port0; the simulator leaves it as it is.";
    QTest::newRow("user's file") << "user file"
                                 << "taken"
                                 << "COM 5 is taken by your alias %data/com5, which is not a "
                                    "link; the simulator leaves it as it is.";
    QTest::newRow("running simulator")
        << "running simulator"
        << "taken"
        << "COM 5 is taken by another running simulator (process %pid): its alias %run/com5 "
           "points at %device.";
    QTest::newRow("killed simulator's alias") << "stale alias"
                                              << "published"
                                              << "";
    QTest::newRow("killed simulator's alias, no lock file") << "stale alias, no lock"
                                                            << "published"
                                                            << "";
    QTest::newRow("not a link in the simulator's folder")
        << "runtime file"
        << "taken"
        << "COM 5 is taken: %run/com5 is not a link, so the simulator did not make it and "
           "leaves it as it is.";
    QTest::newRow("simulator's folder open to others")
        << "shared runtime folder 0777"
        << "failed"
        << "%base is not a folder of this user's alone (it must be a folder, not a link, owned "
           "by you, that no one else may write to); the simulator does not publish there";
    QTest::newRow("simulator's folder open to its group")
        << "shared runtime folder 0770"
        << "failed"
        << "%base is not a folder of this user's alone (it must be a folder, not a link, owned "
           "by you, that no one else may write to); the simulator does not publish there";
}

void SimulatorTest::claims()
{
    QFETCH(QString, before);
    QFETCH(QString, outcome);
    QFETCH(QString, message);
    PortAliases aliases;
    const QString userAlias = PortNames::aliasPath(5);
    const QString alias = PortNames::simulatorAliasPath(5);
    const QString userTarget = "/dev/serial/by-id/usb-Test_Adapter-if00-port0";
    SimOptions options;
    Simulator other(options);
    QString error;
    if (before == "user alias") {
        aliases.point(5, userTarget);
    } else if (before == "user file") {
        QFile file(userAlias);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("mine");
    } else if (before == "running simulator") {
        QVERIFY2(other.start(&error), qPrintable(error));
    } else if (before.startsWith("shared runtime folder")) {
        QVERIFY(QDir().mkpath(PortNames::simulatorBaseFolder()));
        QVERIFY(::chmod(QFile::encodeName(PortNames::simulatorBaseFolder()).constData(),
                        before.endsWith("0777") ? 0777 : 0770) == 0);
    } else if (before.startsWith("stale alias") || before == "runtime file") {
        QVERIFY(QDir().mkpath(PortNames::simulatorFolder()));
        QFile::setPermissions(PortNames::simulatorBaseFolder(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(PortNames::simulatorFolder(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (before == "runtime file") {
            QFile file(alias);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not the simulator's");
        } else {
            QVERIFY(QFile::link("/dev/pts/bvterm-gone", alias));
            if (before == "stale alias") {
                // The lock of a simulator that was killed: a file nobody holds.
                QFile lock(PortNames::simulatorLockPath(5));
                QVERIFY(lock.open(QIODevice::WriteOnly));
                lock.write("999999\n");
            }
        }
    }
    const QString otherDevice = other.devicePath();
    struct stat userBefore {};
    ::lstat(QFile::encodeName(userAlias).constData(), &userBefore);

    Simulator simulator(options);
    QCOMPARE(simulator.start(&error), outcome == "published");
    QCOMPARE(simulator.comTaken(), outcome == "taken");
    if (outcome == "published") {
        QCOMPARE(linkTarget(alias), simulator.devicePath());
        QCOMPARE(PortNames::describe(5), simulator.devicePath());
        QVERIFY(error.isEmpty());
        return;
    }
    message.replace("%data", aliases.folder())
        .replace("%base", PortNames::simulatorBaseFolder())
        .replace("%run", PortNames::simulatorFolder())
        .replace("%device", otherDevice)
        .replace("%pid", QString::number(::getpid()));
    // A refusal ends with the suggestion of another COM number, tested on its own below.
    if (outcome == "taken")
        message += QStringLiteral(" Choose another COM number, for example --com %1.")
                       .arg(suggestComNumber(5));
    QCOMPARE(error, message);
    // Whatever stood there is left exactly as it was.
    if (before == "user alias") {
        // The very same link, not a copy of it.
        struct stat userAfter {};
        QVERIFY(::lstat(QFile::encodeName(userAlias).constData(), &userAfter) == 0);
        QCOMPARE(userAfter.st_ino, userBefore.st_ino);
        QCOMPARE(linkTarget(userAlias), userTarget);
        QVERIFY(!QFileInfo(alias).exists() && !QFileInfo(alias).isSymLink());
    } else if (before == "user file") {
        QFile file(userAlias);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("mine"));
    } else if (before == "running simulator") {
        QCOMPARE(linkTarget(alias), otherDevice);
        QCOMPARE(PortNames::sourceOf(5), PortNames::Source::Simulator);
    } else if (before == "runtime file") {
        QFile file(alias);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not the simulator's"));
        QVERIFY(!QFile::exists(PortNames::simulatorLockPath(5)));
    } else if (before.startsWith("shared runtime folder")) {
        QVERIFY(!QFile::exists(PortNames::simulatorFolder()));
    }
}

void SimulatorTest::killedSimulatorIsReplaced()
{
    PortAliases aliases;
    QProcess killed;
    killed.start(QStringLiteral(BVTERM_SIM_PATH), {"--com", "6"});
    QVERIFY(killed.waitForStarted());
    QByteArray out;
    QTRY_VERIFY((out += killed.readAllStandardOutput()).contains("published as COM 6"));
    const QString alias = PortNames::simulatorAliasPath(6);
    const QString deadDevice = linkTarget(alias);
    QVERIFY(deadDevice.startsWith("/dev/pts/"));
    QCOMPARE(PortNames::sourceOf(6), PortNames::Source::Simulator);
    killed.kill(); // SIGKILL: no chance to remove its alias
    QVERIFY(killed.waitForFinished());
    QCOMPARE(killed.exitStatus(), QProcess::CrashExit);

    // Left behind, but no living process holds its lock: the terminal no longer uses it...
    QCOMPARE(linkTarget(alias), deadDevice);
    QVERIFY(!PortNames::simulatorRuns(6));
    QCOMPARE(PortNames::sourceOf(6), PortNames::Source::BuiltIn);
    // ...and the next simulator replaces it.
    SimOptions options;
    options.com = 6;
    Simulator simulator(options);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    QCOMPARE(linkTarget(alias), simulator.devicePath());
    QCOMPARE(PortNames::sourceOf(6), PortNames::Source::Simulator);

    // While it runs, the simulator program refuses COM 6 and says why.
    QProcess second;
    second.start(QStringLiteral(BVTERM_SIM_PATH), {"--com", "6"});
    QVERIFY(second.waitForFinished());
    QCOMPARE(second.exitCode(), SimExit::ComTaken);
    const QString refusal = QString::fromLocal8Bit(second.readAllStandardError());
    QVERIFY2(refusal.startsWith(QStringLiteral("bvterm-sim: COM 6 is taken by another running "
                                               "simulator (process %1): its alias %2 points at %3.")
                                    .arg(::getpid())
                                    .arg(alias, simulator.devicePath())),
             qPrintable(refusal));
    QCOMPARE(linkTarget(alias), simulator.devicePath());
}

void SimulatorTest::suggestion_data()
{
    // The use of COM 1 to 12, one letter each: F free, D only a device of its built-in name,
    // T taken.
    QTest::addColumn<int>("taken");
    QTest::addColumn<QString>("uses");
    QTest::addColumn<int>("suggested");
    QTest::newRow("the next one") << 5 << "FFFFTFFFFFFF" << 6;
    QTest::newRow("skips taken ones") << 5 << "FFFFTTTFFFFF" << 8;
    QTest::newRow("skips ones with a device") << 1 << "TDDDFFFFFFFF" << 5;
    QTest::newRow("after 12 comes 1") << 12 << "DFFFTTTTTTTT" << 2;
    QTest::newRow("below it") << 5 << "TTFTTTTTTTTT" << 3;
    QTest::newRow("only devices left") << 5 << "TTTTTTDTDTTT" << 7;
    QTest::newRow("all taken") << 5 << "TTTTTTTTTTTT" << 0;
}

void SimulatorTest::suggestion()
{
    QFETCH(int, taken);
    QFETCH(QString, uses);
    QFETCH(int, suggested);
    const auto useOf = [&uses](int number) {
        switch (uses.at(number - 1).toLatin1()) {
        case 'F':
            return ComUse::Free;
        case 'D':
            return ComUse::DeviceOnly;
        default:
            return ComUse::Taken;
        }
    };
    QCOMPARE(suggestComNumber(taken, useOf), suggested);
}

void SimulatorTest::unreadRepliesAreLost()
{
    PortAliases aliases;
    SimOptions options;
    Simulator simulator(options);
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    QSignalSpy received(&simulator, &Simulator::commandReceived);
    const int line = ::open(QFile::encodeName(simulator.devicePath()).constData(),
                            O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(line >= 0);

    // Far more replies than the line holds, and nobody reads them meanwhile.
    const int commands = 4000;
    const QByteArray reply = InstrumentModel().respond("ID?").lines.first().toLatin1() + "\r\n";
    const QByteArray all = QByteArray("ID?\r\n").repeated(commands);
    for (qsizetype sent = 0; sent < all.size();) {
        const ssize_t count = ::write(line, all.constData() + sent, size_t(all.size() - sent));
        if (count > 0)
            sent += count;
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(received.size(), commands);
    const qint64 replied = qint64(commands) * reply.size();
    QVERIFY(simulator.lostBytes() > 0);

    // What the line held arrives; what it had no room for is gone, not queued for later.
    QByteArray held;
    QTRY_COMPARE((held += readAvailable(line)).size(), replied - simulator.lostBytes());
    QVERIFY(held.startsWith(reply + reply));
    QVERIFY(::write(line, "UNIT?\r\n", 7) == 7);
    QByteArray after;
    QTRY_VERIFY((after += readAvailable(line)).endsWith("\r\n"));
    QCOMPARE(after, QByteArray("UNIT_C\r\n"));
    ::close(line);
}

void SimulatorTest::answersOverTheLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CR LF") << QStringList{} << QByteArray("UNIT?\r\n") << "UNIT_C\r\n";
    QTest::newRow("LF only") << QStringList{"--line-end", "lf"} << QByteArray("UNIT?\n")
                             << "UNIT_C\n";
    QTest::newRow("delayed") << QStringList{"--delay", "50"} << QByteArray("UNIT?\r\n")
                             << "UNIT_C\r\n";
    QTest::newRow("in two halves")
        << QStringList{"--stall", "50"} << QByteArray("UNIT?\r\n") << "UNIT_C\r\n";
    QTest::newRow("unsolicited") << QStringList{"--talk", "20"} << QByteArray() << "RDG: ";
}

void SimulatorTest::answersOverTheLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, command);
    QFETCH(QString, expected);
    PortAliases aliases;
    SimOptions options;
    QString error;
    QVERIFY(parseSimOptions(arguments, &options, &error));
    Simulator simulator(options);
    QVERIFY(simulator.start(&error));
    SerialPortControl port;
    port.setCommPort(5);
    port.setPortOpen(true);
    if (!command.isEmpty())
        port.setOutput(QString::fromLatin1(command));
    QTRY_VERIFY(port.InBufferCount() >= expected.size());
    QVERIFY(port.Input().startsWith(expected));
}

void SimulatorTest::theProgram()
{
    PortAliases aliases;
    QProcess help;
    help.start(QStringLiteral(BVTERM_SIM_PATH), {"--help"});
    QVERIFY(help.waitForFinished());
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(help.readAllStandardOutput().contains("--talk"));

    QProcess wrong;
    wrong.start(QStringLiteral(BVTERM_SIM_PATH), {"--com", "99"});
    QVERIFY(wrong.waitForFinished());
    QCOMPARE(wrong.exitCode(), 2);
    QVERIFY(wrong.readAllStandardError().contains("--com"));

    QProcess sim;
    sim.start(QStringLiteral(BVTERM_SIM_PATH), {"--com", "7"});
    QVERIFY(sim.waitForStarted());
    QByteArray out;
    QByteArray err;
    QTRY_VERIFY((out += sim.readAllStandardOutput()).contains("published as COM 7"));
    QVERIFY(QFileInfo(PortNames::simulatorAliasPath(7)).isSymLink());
    SerialPortControl port;
    port.setCommPort(7);
    port.setPortOpen(true);
    port.setOutput("ID?\r\n");
    QTRY_VERIFY(port.InBufferCount() > 20);
    QVERIFY(port.Input().startsWith("Baroventis BV-SIM 100"));
    QTRY_VERIFY((err += sim.readAllStandardError()).contains("received \"ID?\""));
    port.setPortOpen(false);
    sim.terminate(); // SIGTERM
    QVERIFY(sim.waitForFinished());
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(PortNames::simulatorAliasPath(7)).isSymLink());

    // The user's own alias for COM 7 is refused with status 3 and left as it is.
    aliases.point(7, "/dev/ttyUSB3");
    QProcess refused;
    refused.start(QStringLiteral(BVTERM_SIM_PATH), {"--com", "7"});
    QVERIFY(refused.waitForFinished());
    QCOMPARE(refused.exitCode(), SimExit::ComTaken);
    QVERIFY(refused.readAllStandardError().startsWith("bvterm-sim: COM 7 is taken by your alias " +
                                                      QFile::encodeName(PortNames::aliasPath(7)) +
                                                      ", which points at /dev/ttyUSB3;"));
    QCOMPARE(linkTarget(PortNames::aliasPath(7)), QStringLiteral("/dev/ttyUSB3"));
    QVERIFY(!QFileInfo(PortNames::simulatorAliasPath(7)).isSymLink());
}

void SimulatorTest::inUseNamesTheOtherPrograms_data()
{
    // Besides the simulator, which holds the pseudo-terminal as the instrument's end: a program
    // that has the port open as a serial port (locked and exclusive, so that it is in use),
    // another that merely has it open, and a UUCP lock file that holds the number of a running
    // program.
    QTest::addColumn<bool>("serialPort");
    QTest::addColumn<bool>("alsoOpen");
    QTest::addColumn<bool>("lockFile");
    QTest::newRow("a program has it open") << true << false << false;
    QTest::newRow("two programs have it open") << true << true << false;
    QTest::newRow("a lock file names a program") << false << false << true;
}

void SimulatorTest::inUseNamesTheOtherPrograms()
{
    QFETCH(bool, serialPort);
    QFETCH(bool, alsoOpen);
    QFETCH(bool, lockFile);
    PortAliases aliases;
    QProcess sim;
    sim.start(QStringLiteral(BVTERM_SIM_PATH), {"--com", "9"});
    QVERIFY(sim.waitForStarted());
    QByteArray out;
    QTRY_VERIFY((out += sim.readAllStandardOutput()).contains("published as COM 9"));
    const QString device = linkTarget(PortNames::simulatorAliasPath(9));
    QVERIFY(device.startsWith("/dev/pts/"));
    std::map<qint64, QString> holders; // named in the order of their process numbers

    // Has the device open (as its input) and does nothing; the shell opens the device.
    QProcess open;
    if (alsoOpen) {
        open.start("sh", {"-c", "exec sleep 600 <\"$1\"", "sh", device});
        QVERIFY(open.waitForStarted());
        QTRY_COMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(open.processId())),
                     device);
        holders[open.processId()] = "sleep";
    }
    // Holds a lock file of the device (in a folder of the test's own), without the device.
    QProcess locker;
    QTemporaryDir locks;
    if (lockFile) {
        locker.start("sleep", {"600"});
        QVERIFY(locker.waitForStarted());
        QFile lock(locks.filePath("LCK.." + device.mid(5).replace('/', '_')));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(locker.processId()).rightJustified(10, ' ') + "\n");
        holders[locker.processId()] = "sleep";
    }
    // Has it open as a serial port, locked and exclusive, until it is ended.
    pid_t program = 0;
    if (serialPort) {
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        program = ::fork();
        if (program == 0) {
            QSerialPort held(device);
            held.open(QIODevice::ReadWrite);
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(ready[1], &byte, 1);
            for (;;)
                ::pause();
        }
        char byte = 0;
        QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
        ::close(ready[0]);
        ::close(ready[1]);
        holders[program] = "tst_simulator";
    }

    const QStringList found = processesHoldingDevice(device, {locks.path()});
    QString told;
    if (serialPort) {
        SerialPortControl port;
        port.setCommPort(9);
        try {
            port.setPortOpen(true);
        } catch (const PortError& failure) {
            told = failure.description();
        }
        ::kill(program, SIGKILL);
        ::waitpid(program, nullptr, 0);
    }
    open.kill();
    open.waitForFinished();
    locker.kill();
    locker.waitForFinished();
    sim.terminate();
    QVERIFY(sim.waitForFinished());
    QStringList named;
    for (const auto& [pid, name] : holders)
        named << QStringLiteral("%1 (process %2)").arg(name).arg(pid);
    QCOMPARE(found, named);
    if (!serialPort)
        return;
    const QString label = "COM 9 (" + device + ")";
    QCOMPARE(told, named.size() == 1
                       ? label + " is in use by another program: " + named.first() + " has it open."
                       : label + " is in use by other programs: " + named.join(", ") + ".");
}

QTEST_MAIN(SimulatorTest)
#include "tst_simulator.moc"
