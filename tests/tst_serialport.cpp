// The serial port control over real pseudo-terminals, and how port names map to devices.

#include "app/frmMain.h"
#include "serial/PortNames.h"
#include "serial/SerialPortControl.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QSerialPort>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Plays a running simulator's part for COM n: its alias in the simulator's folder and, while
// `running`, the lock that it holds for as long as it runs.
class SimulatorPart {
public:
    SimulatorPart(int portNumber, const QString& device, bool running)
    {
        QDir().mkpath(PortNames::simulatorFolder());
        for (const QString& folder :
             {PortNames::simulatorBaseFolder(), PortNames::simulatorFolder()})
            ::chmod(QFile::encodeName(folder).constData(), 0700);
        QFile::link(device, PortNames::simulatorAliasPath(portNumber));
        m_lock = ::open(QFile::encodeName(PortNames::simulatorLockPath(portNumber)).constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        struct flock request {};
        request.l_type = F_WRLCK;
        request.l_whence = SEEK_SET;
        if (running)
            ::fcntl(m_lock, F_OFD_SETLK, &request);
    }
    ~SimulatorPart() { ::close(m_lock); }
    SimulatorPart(const SimulatorPart&) = delete;
    SimulatorPart& operator=(const SimulatorPart&) = delete;

private:
    int m_lock = -1;
};

// An instrument on COM n, and the port control opened on it.
struct OpenPort {
    explicit OpenPort(int number, int inputLen = 0)
    {
        aliases.point(number, line.slavePath());
        port.setCommPort(number);
        port.setPortOpen(true);
        port.setInputLen(inputLen);
    }
    PortAliases aliases;
    PseudoTerminal line;
    SerialPortControl port;
};

} // namespace

class SerialPortTest : public QObject {
    Q_OBJECT
private slots:
    void builtInDevices_data();
    void builtInDevices();
    void aliasTakesPrecedence();
    void lookupOrder_data();
    void lookupOrder();
    void portNumberOfEntry_data();
    void portNumberOfEntry();
    void listedPorts_data();
    void listedPorts();
    void settings_data();
    void settings();
    void opensWithRateAndCloses_data();
    void opensWithRateAndCloses();
    void closedPortNeverFails();
    void everyByteArrivesUnchanged();
    void oneCharacterPerRead();
    void singleCharacterReads_data();
    void singleCharacterReads();
    void outputIsOneBytePerCharacter();
    void openFailures_data();
    void openFailures();
    void busyPort();
    void permissionDenied();
    void permissionAdvice_data();
    void permissionAdvice();
    void refusesADeviceAnotherProgramHolds_data();
    void refusesADeviceAnotherProgramHolds();
    void forgetsWhatCameBeforeTheConnection();
    void holdsBoundedInputWhileNobodyReads();
    void hangUpKeepsWhatArrived();
    void stoppedDeliveryCountsAsLost();
    void reopenAfterHangUp();

private:
    void waitForBytes(SerialPortControl& port, int count);
};

void SerialPortTest::waitForBytes(SerialPortControl& port, int count)
{
    QTRY_VERIFY(port.InBufferCount() >= count);
}

void SerialPortTest::builtInDevices_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM 1") << 1 << "/dev/ttyS0";
    QTest::newRow("COM 4") << 4 << "/dev/ttyS3";
    QTest::newRow("COM 5") << 5 << "/dev/ttyUSB0";
    QTest::newRow("COM 8") << 8 << "/dev/ttyUSB3";
    QTest::newRow("COM 9") << 9 << "/dev/ttyACM0";
    QTest::newRow("COM 12") << 12 << "/dev/ttyACM3";
    QTest::newRow("none for 13") << 13 << "";
}

void SerialPortTest::builtInDevices()
{
    QFETCH(int, number);
    QFETCH(QString, device);
    QCOMPARE(PortNames::builtInDevice(number), device);
    // Without an alias the built-in device is used.
    PortAliases aliases;
    if (number <= 12)
        QCOMPARE(PortNames::devicePath(number), device);
}

void SerialPortTest::aliasTakesPrecedence()
{
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(5, line.slavePath());
    QCOMPARE(PortNames::devicePath(5), aliases.folder() + "/com5");
    QCOMPARE(PortNames::describe(5), line.slavePath());
    // An alias whose device is gone still names COM 5: it is not silently replaced.
    aliases.point(6, "/dev/bvterm-no-such-device");
    QCOMPARE(PortNames::devicePath(6), aliases.folder() + "/com6");
    QCOMPARE(PortNames::describe(6), QStringLiteral("/dev/bvterm-no-such-device"));
    aliases.remove(5);
    QCOMPARE(PortNames::devicePath(5), QStringLiteral("/dev/ttyUSB0"));
}

void SerialPortTest::lookupOrder_data()
{
    // What COM 5 has: the user's alias (to a pseudo-terminal of the test), a simulator's alias
    // (to another one) whose simulator runs or was killed, and whether the simulator's base
    // folder is open to others. The tool tip says which name applies.
    QTest::addColumn<bool>("userAlias");
    QTest::addColumn<QString>("simulator");
    QTest::addColumn<bool>("sharedFolder");
    QTest::addColumn<QString>("source");
    QTest::newRow("built-in") << false << "none" << false << "built-in";
    QTest::newRow("user's alias") << true << "none" << false << "user";
    QTest::newRow("running simulator") << false << "running" << false << "simulator";
    QTest::newRow("running simulator before user's alias")
        << true << "running" << false << "simulator";
    QTest::newRow("killed simulator") << false << "killed" << false << "built-in";
    QTest::newRow("killed simulator, user's alias") << true << "killed" << false << "user";
    QTest::newRow("simulator's folder open to others") << true << "running" << true << "user";
}

void SerialPortTest::lookupOrder()
{
    QFETCH(bool, userAlias);
    QFETCH(QString, simulator);
    QFETCH(bool, sharedFolder);
    QFETCH(QString, source);
    PortAliases aliases;
    PseudoTerminal userLine;
    PseudoTerminal simulatorLine;
    if (userAlias)
        aliases.point(5, userLine.slavePath());
    std::unique_ptr<SimulatorPart> part;
    if (simulator != "none")
        part =
            std::make_unique<SimulatorPart>(5, simulatorLine.slavePath(), simulator == "running");
    if (sharedFolder)
        ::chmod(QFile::encodeName(PortNames::simulatorBaseFolder()).constData(), 0777);

    QString expected;
    if (source == "simulator") {
        QCOMPARE(PortNames::sourceOf(5), PortNames::Source::Simulator);
        QCOMPARE(PortNames::devicePath(5), aliases.runtimeFolder() + "/bvterm/ports/com5");
        QCOMPARE(PortNames::describe(5), simulatorLine.slavePath());
        expected =
            QStringLiteral("COM 5 is %1 (the running simulator's alias %2/bvterm/ports/com5)")
                .arg(simulatorLine.slavePath(), aliases.runtimeFolder());
    } else if (source == "user") {
        QCOMPARE(PortNames::sourceOf(5), PortNames::Source::UserAlias);
        QCOMPARE(PortNames::devicePath(5), aliases.folder() + "/com5");
        QCOMPARE(PortNames::describe(5), userLine.slavePath());
        expected = QStringLiteral("COM 5 is %1 (your alias %2/com5)")
                       .arg(userLine.slavePath(), aliases.folder());
    } else {
        QCOMPARE(PortNames::sourceOf(5), PortNames::Source::BuiltIn);
        QCOMPARE(PortNames::devicePath(5), QStringLiteral("/dev/ttyUSB0"));
        expected = QStringLiteral("COM 5 is /dev/ttyUSB0 (the built-in name; there is no alias)");
    }
    QCOMPARE(PortNames::explain(5), expected);
    // The port list's tool tip says the same.
    frmMain window;
    window.cboPort->setCurrentIndex(window.cboPort->findText("COM 5"));
    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), window.cboPort->mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(window.cboPort, &help);
    QCOMPARE(window.cboPort->toolTip(), expected);
}

void SerialPortTest::portNumberOfEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("number");
    QTest::newRow("COM 1") << "COM 1" << 1;
    QTest::newRow("COM 12") << "COM 12" << 12;
    QTest::newRow("no blank") << "COM12" << 0;
    QTest::newRow("other") << "9600" << 0;
}

void SerialPortTest::portNumberOfEntry()
{
    QFETCH(QString, entry);
    QFETCH(int, number);
    QCOMPARE(PortNames::portNumberOf(entry), number);
}

void SerialPortTest::listedPorts_data()
{
    // The system's ports (as Windows names them), the port chosen, and the ports listed after
    // COM 1 to COM 12.
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<int>>("above");
    QTest::newRow("none above 12") << QStringList{"COM1", "COM3"} << 1 << QList<int>{};
    QTest::newRow("in number order, once each")
        << QStringList{"COM20", "COM13", "com13", "COM3", "COM100"} << 5 << QList<int>{13, 20, 100};
    QTest::newRow("not ports of the list")
        << QStringList{"LPT1", "COM", "COM0", "COM013", "COM 14", "COMx", "/dev/ttyS0", "COM257"}
        << 1 << QList<int>{};
    QTest::newRow("a chosen port that has gone stays")
        << QStringList{"COM13"} << 17 << QList<int>{13, 17};
}

void SerialPortTest::listedPorts()
{
    QFETCH(QStringList, system);
    QFETCH(int, selected);
    QFETCH(QList<int>, above);
    QList<int> expected;
    for (int n = 1; n <= 12; ++n)
        expected << n;
    QCOMPARE(PortNames::listedPorts(system, selected), expected + above);
}

void SerialPortTest::settings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("valid");
    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << true;
    QTest::newRow("115200,N,8,1") << "115200,N,8,1" << true;
    QTest::newRow("150,N,8,1") << "150,N,8,1" << true;
    QTest::newRow("even parity, 7 bits, 2 stop") << "4800,E,7,2" << true;
    QTest::newRow("no rate") << ",N,8,1" << false;
    QTest::newRow("rate 0") << "0,N,8,1" << false;
    QTest::newRow("unknown parity") << "9600,X,8,1" << false;
    QTest::newRow("nine data bits") << "9600,N,9,1" << false;
    QTest::newRow("missing part") << "9600,N,8" << false;
}

void SerialPortTest::settings()
{
    QFETCH(QString, settings);
    QFETCH(bool, valid);
    SerialPortControl port;
    bool threw = false;
    try {
        port.setSettings(settings);
    } catch (const PortError& failure) {
        threw = true;
        QVERIFY(failure.description().contains(settings));
    }
    QCOMPARE(threw, !valid);
    QCOMPARE(port.Settings(), valid ? settings : QStringLiteral("9600,N,8,1"));
}

void SerialPortTest::opensWithRateAndCloses_data()
{
    QTest::addColumn<QString>("rate");
    for (const char* rate : {"115200", "57600", "9600", "1200", "150"})
        QTest::newRow(rate) << rate;
}

void SerialPortTest::opensWithRateAndCloses()
{
    QFETCH(QString, rate);
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(3, line.slavePath());
    SerialPortControl port;
    port.setCommPort(3);
    port.setSettings(rate + ",N,8,1");
    port.setPortOpen(true);
    QVERIFY(port.PortOpen());
    QCOMPARE(line.baudRate(), rate.toInt());
    QCOMPARE(port.OpenCount(), quint64(1));
    QVERIFY(port.portLabel().startsWith("COM 3 ("));
    port.setPortOpen(false);
    QVERIFY(!port.PortOpen());
    // The number cannot change while open, and only COM 1 to COM 12 exist.
    port.setPortOpen(true);
    QVERIFY_THROWS_EXCEPTION(PortError, port.setCommPort(4));
    port.setPortOpen(false);
    QVERIFY_THROWS_EXCEPTION(PortError, port.setCommPort(13));
    QVERIFY_THROWS_EXCEPTION(PortError, port.setCommPort(0));
}

void SerialPortTest::closedPortNeverFails()
{
    SerialPortControl port;
    QCOMPARE(port.InBufferCount(), 0);
    QVERIFY(!port.PortOpen());
    port.setPortOpen(false); // closing a closed port is no failure
    QVERIFY_THROWS_EXCEPTION(PortError, port.Input());
    QVERIFY_THROWS_EXCEPTION(PortError, port.setOutput("X\r\n"));
}

void SerialPortTest::everyByteArrivesUnchanged()
{
    OpenPort open(1);
    SerialPortControl& port = open.port;
    PseudoTerminal& line = open.line;
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    line.write(all);
    waitForBytes(port, 256);
    const QString received = port.Input(); // InputLen 0: everything waiting
    QCOMPARE(received.size(), 256);
    QCOMPARE(received.toLatin1(), all);
    QCOMPARE(port.InBufferCount(), 0);
}

void SerialPortTest::oneCharacterPerRead()
{
    OpenPort open(2, 1);
    SerialPortControl& port = open.port;
    PseudoTerminal& line = open.line;
    line.write("12.5\r\n");
    waitForBytes(port, 6);
    QString read;
    while (port.InBufferCount() > 0) {
        const QString one = port.Input();
        QCOMPARE(one.size(), 1);
        read += one;
    }
    QCOMPARE(read, QStringLiteral("12.5\r\n"));
}

void SerialPortTest::singleCharacterReads_data()
{
    QTest::addColumn<QByteArray>("first");  // written, then waited for
    QTest::addColumn<int>("taken");         // characters then taken one by one
    QTest::addColumn<QByteArray>("second"); // written after that
    QTest::addColumn<bool>("hangUp");       // then the instrument hangs up
    QTest::addColumn<bool>("allAtOnce");    // the rest read by Input instead of inputChar
    QTest::newRow("one by one across two arrivals")
        << QByteArray("abc") << 1 << QByteArray("de") << false << false;
    QTest::newRow("Input after inputChar")
        << QByteArray("abc") << 1 << QByteArray("de") << false << true;
    QTest::newRow("8-bit codes") << QByteArray("\xb5\x00\xff\r\n", 5) << 3 << QByteArray() << false
                                 << false;
    QTest::newRow("hang-up after a partial read")
        << QByteArray("A1\nB2") << 1 << QByteArray() << true << false;
    QTest::newRow("hang-up with more in the port")
        << QByteArray("A1") << 1 << QByteArray("\nB2") << true << true;
}

void SerialPortTest::singleCharacterReads()
{
    QFETCH(QByteArray, first);
    QFETCH(int, taken);
    QFETCH(QByteArray, second);
    QFETCH(bool, hangUp);
    QFETCH(bool, allAtOnce);
    OpenPort open(6);
    SerialPortControl& port = open.port;
    open.line.write(first);
    QTRY_COMPARE(port.InBufferCount(), first.size());
    for (int i = 0; i < taken; ++i)
        QCOMPARE(port.inputChar(), int(static_cast<unsigned char>(first[i])));
    if (!second.isEmpty()) {
        open.line.write(second);
        // The count takes in what arrived after the first characters were taken.
        QTRY_COMPARE(port.InBufferCount(), first.size() - taken + second.size());
    }
    if (hangUp) {
        open.line.releaseSlave();
        open.line.hangUp();
        QTRY_VERIFY(!port.DeviceLost().isEmpty());
        QVERIFY(!port.PortOpen());
    }
    const QByteArray rest = first.mid(taken) + second;
    QCOMPARE(port.InBufferCount(), rest.size());
    QByteArray read;
    if (allAtOnce) {
        read = port.Input().toLatin1();
    } else {
        for (int c = port.inputChar(); c >= 0; c = port.inputChar())
            read.append(char(c));
    }
    QCOMPARE(read, rest);
    QCOMPARE(port.InBufferCount(), 0);
    QCOMPARE(port.inputChar(), -1);
    port.setPortOpen(false);
    QVERIFY_THROWS_EXCEPTION(PortError, port.inputChar());
}

void SerialPortTest::outputIsOneBytePerCharacter()
{
    OpenPort open(2);
    open.port.setOutput(QStringLiteral("ID \u00e9\u20ac\r\n"));
    QCOMPARE(open.line.read(7), QByteArray("ID \xe9?\r\n"));
}

void SerialPortTest::openFailures_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("says");
    QTest::newRow("missing device") << "/dev/bvterm-no-such-device"
                                    << "COM 7 is your alias %alias for /dev/bvterm-no-such-device, "
                                       "which does not exist. Plug the device in, or correct or "
                                       "remove the alias.";
    QTest::newRow("a regular file") << "FILE"
                                    << "is not a serial device";
    QTest::newRow("a device that is no terminal") << "/dev/null"
                                                  << "is not a serial device";
}

void SerialPortTest::openFailures()
{
    QFETCH(QString, target);
    QFETCH(QString, says);
    PortAliases aliases;
    QTemporaryDir dir;
    if (target == "FILE") {
        target = dir.filePath("plain.txt");
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    aliases.point(7, target);
    SerialPortControl port;
    port.setCommPort(7);
    try {
        port.setPortOpen(true);
        QFAIL("the port opened");
    } catch (const PortError& failure) {
        QVERIFY2(failure.description().contains(says.replace("%alias", aliases.folder() + "/com7")),
                 qPrintable(failure.description()));
        QVERIFY2(failure.description().contains("COM 7"), qPrintable(failure.description()));
    }
    QVERIFY(!port.PortOpen());
    QCOMPARE(port.InBufferCount(), 0);
}

void SerialPortTest::busyPort()
{
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(4, line.slavePath());
    SerialPortControl first;
    first.setCommPort(4);
    first.setPortOpen(true);
    SerialPortControl second;
    second.setCommPort(4);
    try {
        second.setPortOpen(true);
        QFAIL("a busy port opened twice");
    } catch (const PortError& failure) {
        QVERIFY2(failure.description().contains("in use by another program"),
                 qPrintable(failure.description()));
        QVERIFY(failure.description().contains(line.slavePath()));
    }
    first.setPortOpen(false);
    second.setPortOpen(true); // free again
    QVERIFY(second.PortOpen());
}

void SerialPortTest::permissionDenied()
{
    if (::geteuid() == 0)
        QSKIP("running as root, which no file mode stops");
    PortAliases aliases;
    PseudoTerminal line;
    QFile::setPermissions(line.slavePath(), QFile::ReadOwner);
    aliases.point(8, line.slavePath());
    SerialPortControl port;
    port.setCommPort(8);
    try {
        port.setPortOpen(true);
        QFAIL("opened without permission");
    } catch (const PortError& failure) {
        QVERIFY2(failure.description().startsWith("Permission denied for COM 8"),
                 qPrintable(failure.description()));
        QVERIFY(failure.description().contains("Join the group"));
    }
}

void SerialPortTest::permissionAdvice_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("text");
    const QString denied = QStringLiteral("Permission denied for COM 5 (/dev/ttyUSB0). ");
    QTest::newRow("group may read and write")
        << "dialout" << 020660u
        << denied + "Join the group that owns the device (dialout), for example with \"sudo "
                    "usermod -aG dialout $USER\", then log out and in again.";
    QTest::newRow("group may only write, as on a terminal")
        << "tty" << 020620u
        << denied + "The device belongs to the user root and the group tty with the mode "
                    "crw--w----, which lets no group read and write it: ask the administrator "
                    "of this computer for access to it.";
    QTest::newRow("owner alone") << "root" << 020600u
                                 << denied + "The device belongs to the user root and the group "
                                             "root with the mode crw-------, which lets no group "
                                             "read and write it: ask the administrator of this "
                                             "computer for access to it.";
}

void SerialPortTest::permissionAdvice()
{
    QFETCH(QString, group);
    QFETCH(uint, mode);
    QFETCH(QString, text);
    QCOMPARE(permissionDeniedText("COM 5 (/dev/ttyUSB0)", "root", group, mode), text);
}

void SerialPortTest::refusesADeviceAnotherProgramHolds_data()
{
    QTest::addColumn<bool>("asTerminal"); // else open as a serial port, locked and exclusive
    QTest::addColumn<QString>("refusal");
    QTest::newRow("its terminal")
        << true
        << "COM 6 (%1) is in use: it is the terminal of the running program tst_serialport "
           "(process %2). BVTerm does not open a terminal that belongs to another program; "
           "choose another port.";
    QTest::newRow("open in it") << false
                                << "COM 6 (%1) is in use by another program: tst_serialport "
                                   "(process %2) has it open.";
}

void SerialPortTest::refusesADeviceAnotherProgramHolds()
{
    QFETCH(bool, asTerminal);
    QFETCH(QString, refusal);
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(6, line.slavePath());
    // Another session takes the device as its terminal, as a shell does with its own, or
    // another program opens it.
    const QByteArray device = QFile::encodeName(line.slavePath());
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t program = ::fork();
    if (program == 0) {
        // Another program: not the instrument's end of the line, whose master this process
        // inherited from the test.
        for (int fd = 3; fd < 1024; ++fd) {
            const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
            if (target == "/dev/ptmx" || target == "/dev/pts/ptmx")
                ::close(fd);
        }
        QSerialPort held(line.slavePath()); // open until this program is ended
        if (asTerminal) {
            ::setsid();
            ::ioctl(::open(device.constData(), O_RDWR), TIOCSCTTY, 0);
        } else {
            held.open(QIODevice::ReadWrite);
        }
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(ready[1], &byte, 1);
        for (;;)
            ::pause();
    }
    char byte = 0;
    QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
    ::close(ready[0]);
    ::close(ready[1]);

    SerialPortControl port;
    port.setCommPort(6);
    QString told;
    try {
        port.setPortOpen(true);
    } catch (const PortError& failure) {
        told = failure.description();
    }
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    QCOMPARE(told, refusal.arg(line.slavePath()).arg(program));
    QVERIFY(!port.PortOpen());
    // Once that program has ended, the device is free.
    port.setPortOpen(true);
    QVERIFY(port.PortOpen());
}

void SerialPortTest::forgetsWhatCameBeforeTheConnection()
{
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(3, line.slavePath());
    line.write("stale\r\n");
    QVERIFY(line.waitUntilQueued(7));
    SerialPortControl port;
    port.setCommPort(3);
    port.setPortOpen(true);
    line.write("fresh\n");
    QTRY_COMPARE(port.InBufferCount(), 6);
    QCOMPARE(port.Input(), QStringLiteral("fresh\n"));
}

void SerialPortTest::holdsBoundedInputWhileNobodyReads()
{
    OpenPort open(3);
    SerialPortControl& port = open.port;
    QCOMPARE(port.InBufferSize(), 30000);
    QByteArray talk;
    for (int i = 0; talk.size() < 32000; ++i)
        talk += "reading " + QByteArray::number(i) + "\r\n";
    talk.truncate(32000);
    std::thread instrument([&] { open.line.write(talk); });
    QTRY_COMPARE(port.InBufferCount(), 30000);
    instrument.join();
    QVERIFY(open.line.waitUntilQueued(2000)); // the rest waits at the device
    // Someone reads again: the port takes everything, and nothing was dropped.
    port.setInBufferSize(0);
    QTRY_COMPARE(port.InBufferCount(), 32000);
    QCOMPARE(port.Input().toLatin1(), talk);
}

void SerialPortTest::hangUpKeepsWhatArrived()
{
    OpenPort open(5, 1);
    SerialPortControl& port = open.port;
    PseudoTerminal& line = open.line;
    line.write("A1\nB2");
    waitForBytes(port, 5);
    line.releaseSlave();
    line.hangUp();
    QTRY_VERIFY(!port.DeviceLost().isEmpty());
    QVERIFY(port.DeviceLost().contains("COM 5"));
    QVERIFY(port.DeviceLost().contains("disconnected"));
    QVERIFY(!port.PortOpen());
    QString rest;
    while (port.InBufferCount() > 0)
        rest += port.Input();
    QCOMPARE(rest, QStringLiteral("A1\nB2"));
    QVERIFY_THROWS_EXCEPTION(PortError, port.setOutput("X"));
    // Nothing spins: once the hang-up has been seen, the port reports no error over and over.
    QSignalSpy errors(port.findChild<QSerialPort*>(), &QSerialPort::errorOccurred);
    QTest::qWait(1000);
    QCOMPARE(errors.count(), 0);
}

void SerialPortTest::stoppedDeliveryCountsAsLost()
{
    // The descriptor turns into one that cannot be read: the port stops delivering without any
    // hang-up, which the program must learn of as it does of a hang-up.
    OpenPort open(4);
    SerialPortControl& port = open.port;
    open.line.write("kept\n");
    waitForBytes(port, 5);
    const int unreadable = ::open("/dev/null", O_WRONLY);
    QVERIFY(::dup2(unreadable, int(port.findChild<QSerialPort*>()->handle())) >= 0);
    ::close(unreadable);
    QTRY_VERIFY(!port.DeviceLost().isEmpty());
    QVERIFY2(port.DeviceLost().startsWith("COM 4 (" + open.line.slavePath() +
                                          ") stopped delivering data"),
             qPrintable(port.DeviceLost()));
    QVERIFY(!port.PortOpen());
    QCOMPARE(port.Input(), QStringLiteral("kept\n"));
}

void SerialPortTest::reopenAfterHangUp()
{
    PortAliases aliases;
    auto line = std::make_unique<PseudoTerminal>();
    aliases.point(5, line->slavePath());
    SerialPortControl port;
    port.setCommPort(5);
    port.setPortOpen(true);
    line->releaseSlave();
    line->hangUp();
    QTRY_VERIFY(!port.DeviceLost().isEmpty());
    line = std::make_unique<PseudoTerminal>();
    aliases.point(5, line->slavePath());
    port.setPortOpen(true);
    QVERIFY(port.PortOpen());
    QVERIFY(port.DeviceLost().isEmpty());
    QCOMPARE(port.OpenCount(), quint64(2));
    line->write("ok\n");
    QTRY_COMPARE(port.InBufferCount(), 3);
}

QTEST_MAIN(SerialPortTest)
#include "tst_serialport.moc"
