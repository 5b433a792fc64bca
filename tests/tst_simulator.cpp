// The simulated instrument: its replies, its options, its alias, and the program itself.

#include "exchange/ValueStripping.h"
#include "serial/PortNames.h"
#include "serial/SerialPortControl.h"
#include "sim/InstrumentModel.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"
#include "support/PortAliases.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class SimulatorTest : public QObject {
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void unitSetting();
    void options_data();
    void options();
    void aliasLifecycle();
    void answersOverTheLine_data();
    void answersOverTheLine();
    void theProgram();
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
    aliases.point(5, "/dev/null"); // a stale alias left behind
    const QString alias = PortNames::aliasPath(5);
    {
        SimOptions options;
        Simulator simulator(options);
        QString error;
        QVERIFY2(simulator.start(&error), qPrintable(error));
        QCOMPARE(simulator.aliasPath(), alias);
        QCOMPARE(QFileInfo(alias).symLinkTarget(), simulator.devicePath());
        QCOMPARE(PortNames::describe(5), simulator.devicePath());
    }
    QVERIFY(!QFileInfo(alias).isSymLink()); // removed on the way out
    {
        // An alias that someone else has taken over since is left alone.
        SimOptions options;
        Simulator simulator(options);
        QString error;
        QVERIFY(simulator.start(&error));
        aliases.point(5, "/dev/null");
        simulator.stop();
        QCOMPARE(QFileInfo(alias).symLinkTarget(), QStringLiteral("/dev/null"));
    }
    {
        // Something that is not an alias is not replaced.
        aliases.remove(5);
        QFile plain(alias);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        SimOptions options;
        Simulator simulator(options);
        QString error;
        QVERIFY(!simulator.start(&error));
        QVERIFY2(error.contains("not an alias"), qPrintable(error));
        QVERIFY(QFileInfo(alias).isFile());
    }
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
    QVERIFY(QFileInfo(PortNames::aliasPath(7)).isSymLink());
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
    QVERIFY(!QFileInfo(PortNames::aliasPath(7)).isSymLink());
}

QTEST_MAIN(SimulatorTest)
#include "tst_simulator.moc"
