// Measurement runs without a window: the schedule and the pairing on a clock the test moves,
// the value a reply carries, the CSV file's text, and run definition files.

#include "run/CsvFormat.h"
#include "run/MeasurementRun.h"
#include "run/ReplyValue.h"
#include "run/RunClock.h"
#include "run/RunCsvFile.h"
#include "run/RunCsvWriter.h"
#include "run/RunDefinition.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

struct TestClock : RunClock {
    qint64 ns = 5'000'000'000; // the schedule's clock does not start at 0
    qint64 nowNs() const override { return ns; }
    qint64 wallMs() const override { return 1'800'000'000'000 + ns / 1'000'000; }
};

// Sends nothing; every send is 10 bytes after the one before, so that a line can begin before
// or after the last one.
struct TestTerminal : RunTerminal {
    quint64 received = 0;
    std::optional<quint64> sendCommand(const QString&, QString*) override
    {
        received += 10;
        return received;
    }
};

struct Rows : RunRowSink {
    std::vector<RunRow> rows;
    void write(const RunRow& row) override { rows.push_back(row); }
};

// Rows written compactly: "status command=reply value@elapsed ms".
QString render(const std::vector<RunRow>& rows)
{
    QStringList out;
    for (const RunRow& row : rows) {
        QString text = runStatusText(row.status).remove(u' ');
        if (!row.command.isEmpty())
            text += u' ' + row.command;
        if (row.status == RunStatus::Stopped)
            text += QStringLiteral(" (%1)").arg(row.reply);
        else if (row.status != RunStatus::Started && !row.reply.isEmpty())
            text += u'=' + row.reply;
        if (row.status == RunStatus::Skipped)
            text += u' ' + row.value;
        text += QStringLiteral("@%1").arg(row.elapsedNs / 1'000'000);
        out << text;
    }
    return out.join(QStringLiteral(", "));
}

} // namespace

class RunTest : public QObject {
    Q_OBJECT
private slots:
    void schedule_data();
    void schedule();
    void value_data();
    void value();
    void csvField_data();
    void csvField();
    void csvTime_data();
    void csvTime();
    void csvFileAppends_data();
    void csvFileAppends();
    void csvReadsBack();
    void csvWriteFailures_data();
    void csvWriteFailures();
    void definitionRoundTrip();
    void definitionErrors_data();
    void definitionErrors();
    void commandLine_data();
    void commandLine();
};

void RunTest::schedule_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("cycles");
    // Steps: +N time passes (timers fire as they fall due); z+N the computer sleeps N ms (no
    // timer fires meanwhile); r:TEXT a line that began after the last send; late:TEXT one that
    // began before it; e an empty line; d a line the reader dropped at its own time-out;
    // t:TEXT a typed command; m+ and m- a modal dialog opens and closes; stop.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("rows");
    QTest::newRow("due times, stop after 3")
        << QStringList{"A", "B"} << 1000 << 300 << 3 << "r:1 r:2 +1000 r:3 r:4 +1000 r:5 r:6"
        << "started@0, ok A=1@0, ok B=2@0, ok A=3@1000, ok B=4@1000, ok A=5@2000, ok B=6@2000, "
           "stopped (3 cycles done)@2000";
    QTest::newRow("an overrun skips two cycles")
        << QStringList{"A", "B"} << 1000 << 1400 << 0 << "+2800 +200 r:x r:y stop"
        << "started@0, noreply A@0, noreply B@1400, skipped 2@2800, ok A=x@3000, ok B=y@3000, "
           "stopped (Stop pressed)@3000";
    QTest::newRow("skipped cycles count towards stop after")
        << QStringList{"A", "B"} << 1000 << 1400 << 2 << "+2800 +5000"
        << "started@0, noreply A@0, noreply B@1400, skipped 1@2800, stopped (2 cycles done)@2800";
    QTest::newRow("a modal dialog open across three due times")
        << QStringList{"A"} << 1000 << 500 << 0 << "r:1 +500 m+ +3200 m- +300 r:2 stop"
        << "started@0, ok A=1@0, skipped 3@3700, ok A=2@4000, stopped (Stop pressed)@4000";
    QTest::newRow("a modal dialog stops the reply time-out")
        << QStringList{"A"} << 1000 << 500 << 0 << "+100 m+ +1000 m- +300 r:1 +600 r:2 stop"
        << "started@0, ok A=1@0, skipped 1@1400, ok A=2@2000, stopped (Stop pressed)@2000";
    QTest::newRow("a late reply is not the next command's")
        << QStringList{"A", "B"} << 1000 << 200 << 0 << "+200 late:x r:y stop"
        << "started@0, noreply A@0, unsolicited=x@200, ok B=y@200, stopped (Stop pressed)@200";
    QTest::newRow("empty, second and dropped lines")
        << QStringList{"A"} << 1000 << 300 << 0 << "e r:1 r:2 d stop"
        << "started@0, unsolicited@0, ok A=1@0, unsolicited=2@0, unsolicited@0, "
           "stopped (Stop pressed)@0";
    QTest::newRow("a typed command waits its turn")
        << QStringList{"A", "B"} << 1000 << 300 << 0 << "t:X r:1 r:2 r:3 stop"
        << "started@0, ok A=1@0, ok X=2@0, ok B=3@0, stopped (Stop pressed)@0";
    QTest::newRow("stop while a command waits")
        << QStringList{"A"} << 1000 << 300 << 0 << "+100 stop"
        << "started@0, noreply A@0, stopped (Stop pressed)@100";
    QTest::newRow("a sleep of the computer: one skipped row, no burst")
        << QStringList{"A"} << 1000 << 300 << 0 << "r:1 z+5500 +500 r:2 stop"
        << "started@0, ok A=1@0, skipped 5@5500, ok A=2@6000, stopped (Stop pressed)@6000";
}

void RunTest::schedule()
{
    QFETCH(QStringList, commands);
    QFETCH(int, periodMs);
    QFETCH(int, timeoutMs);
    QFETCH(int, cycles);
    QFETCH(QString, steps);
    QFETCH(QString, rows);
    TestClock clock;
    TestTerminal terminal;
    Rows sink;
    MeasurementRun run({commands, periodMs * 1'000'000LL, timeoutMs * 1'000'000LL, cycles},
                       terminal, sink, clock);
    run.start(QStringLiteral("test"));
    const auto line = [&](quint64 position, const std::optional<QString>& text) {
        run.lineArrived(position, clock.ns, clock.wallMs(), text);
    };
    for (const QString& step : steps.split(u' ')) {
        if (step.startsWith(u'+')) {
            const qint64 target = clock.ns + step.mid(1).toLongLong() * 1'000'000;
            for (qint64 wake = run.nextWakeNs(); wake >= 0 && wake <= target;
                 wake = run.nextWakeNs()) {
                clock.ns = std::max(clock.ns, wake);
                run.advance();
            }
            clock.ns = target;
        } else if (step.startsWith(QLatin1String("z+"))) {
            clock.ns += step.mid(2).toLongLong() * 1'000'000;
            run.advance();
        } else if (step.startsWith(QLatin1String("r:"))) {
            line(terminal.received, step.mid(2));
        } else if (step.startsWith(QLatin1String("late:"))) {
            line(terminal.received - 5, step.mid(5));
        } else if (step == QLatin1String("e")) {
            line(terminal.received, QString());
        } else if (step == QLatin1String("d")) {
            line(terminal.received, std::nullopt);
        } else if (step.startsWith(QLatin1String("t:"))) {
            run.sendTyped(step.mid(2));
        } else if (step == QLatin1String("m+")) {
            run.modalOpened();
        } else if (step == QLatin1String("m-")) {
            run.modalClosed();
        } else if (step == QLatin1String("stop")) {
            run.stop(RunEnd::StopPressed);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
    QCOMPARE(render(sink.rows), rows);
}

void RunTest::value_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("value");
    QTest::newRow("a number whole") << "1013.25"
                                    << "1013.25";
    QTest::newRow("blanks around it") << "  -3.5 "
                                      << "-3.5";
    QTest::newRow("hexadecimal whole") << "&H1F"
                                       << "31";
    QTest::newRow("name and _") << "TEMP_21.50"
                                << "21.5";
    QTest::newRow("= within 8") << "PRESS  =1013.42"
                                << "1013.42";
    // Strip Data's cut leaves " 113: bad", whose reading finds digits: the rule takes them.
    QTest::newRow("an error with a number in its cut") << "ERROR 113: bad"
                                                       << "113";
    QTest::newRow("an identity carries none") << "BV-SIM,1.0"
                                              << "";
    QTest::newRow("no digit at all") << "ERROR: unknown command"
                                     << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("a zero is a reading") << "VOLT 0.000"
                                         << "0";
}

void RunTest::value()
{
    QFETCH(QString, reply);
    QFETCH(QString, value);
    QCOMPARE(replyValue(reply), value);
}

void RunTest::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "TEMP_23.5"
                           << "TEMP_23.5";
    QTest::newRow("comma") << "BV-SIM,1.0"
                           << "\"BV-SIM,1.0\"";
    QTest::newRow("quotes doubled") << "say \"hi\""
                                    << "\"say \"\"hi\"\"\"";
    QTest::newRow("line feed") << "a\nb"
                               << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb"
                                     << "\"a\rb\"";
    QTest::newRow("blanks kept") << "  a  "
                                 << "  a  ";
}

void RunTest::csvField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(CsvFormat::field(text), field);
}

void RunTest::csvTime_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("utc");
    QTest::addColumn<QString>("local");
    QTest::newRow("UTC") << "UTC"
                         << "2026-12-08T09:05:03.007Z"
                         << "2026-12-08T09:05:03.007+00:00";
    QTest::newRow("winter time") << "Europe/Berlin"
                                 << "2026-12-08T08:05:03.007Z"
                                 << "2026-12-08T09:05:03.007+01:00";
    QTest::newRow("before the spring change") << "Europe/Berlin"
                                              << "2026-03-29T00:59:59.999Z"
                                              << "2026-03-29T01:59:59.999+01:00";
    QTest::newRow("after the spring change") << "Europe/Berlin"
                                             << "2026-03-29T01:00:00.000Z"
                                             << "2026-03-29T03:00:00.000+02:00";
    QTest::newRow("before the autumn change") << "Europe/Berlin"
                                              << "2026-10-25T00:59:59.999Z"
                                              << "2026-10-25T02:59:59.999+02:00";
    QTest::newRow("after the autumn change") << "Europe/Berlin"
                                             << "2026-10-25T01:00:00.000Z"
                                             << "2026-10-25T02:00:00.000+01:00";
    QTest::newRow("west of Greenwich, half hours") << "America/St_Johns"
                                                   << "2026-12-08T12:00:00.000Z"
                                                   << "2026-12-08T08:30:00.000-03:30";
    // No zone given: the computer's local time as it is set at that moment (TZ, here).
    QTest::newRow("local time, Berlin") << "TZ=Europe/Berlin"
                                        << "2026-12-08T08:05:03.007Z"
                                        << "2026-12-08T09:05:03.007+01:00";
    QTest::newRow("local time changed to New York") << "TZ=America/New_York"
                                                    << "2026-12-08T14:05:03.007Z"
                                                    << "2026-12-08T09:05:03.007-05:00";
}

void RunTest::csvTime()
{
    QFETCH(QString, zone);
    QFETCH(QString, utc);
    QFETCH(QString, local);
    const qint64 ms = QDateTime::fromString(utc, Qt::ISODateWithMs).toMSecsSinceEpoch();
    if (!zone.startsWith(QLatin1String("TZ="))) {
        QCOMPARE(CsvFormat::isoTime(ms, QTimeZone(zone.toLatin1())), local);
        return;
    }
#ifdef Q_OS_WIN
    QSKIP("Windows takes its time zone from its settings, not from TZ");
#else
    const QByteArray before = qgetenv("TZ");
    qputenv("TZ", zone.mid(3).toLatin1());
    const QString written = CsvFormat::isoTime(ms, QTimeZone());
    before.isNull() ? qunsetenv("TZ") : qputenv("TZ", before);
    QCOMPARE(written, local);
#endif
}

void RunTest::csvFileAppends_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray header = CsvFormat::headerLine();
    const QByteArray row = "a,b\r\n";
    QTest::newRow("new file") << QByteArray() << "\xEF\xBB\xBF" + header + row;
    QTest::newRow("a run before") << QByteArray("x\r\n") << "x\r\n" + row;
    QTest::newRow("last line without its end") << QByteArray("x") << "x\r\n" + row;
    QTest::newRow("last line cut after CR") << QByteArray("x\r") << "x\r\n" + row;
}

void RunTest::csvFileAppends()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("run.csv"));
    if (!before.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    {
        RunCsvFile csv;
        QCOMPARE(csv.open(path), QString());
        QCOMPARE(csv.begin(CsvFormat::headerLine()), QString());
        QCOMPARE(csv.append("a,b\r\n"), QString());
        QCOMPARE(csv.sync(), QString());
        // Held by a run, the file is refused to a second one.
        RunCsvFile second;
        QVERIFY(second.open(path).contains(QStringLiteral("cannot be opened for appending")));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), after);
    RunCsvFile folderAsFile;
    QCOMPARE(folderAsFile.open(folder.path()),
             QDir::toNativeSeparators(folder.path()) +
                 QStringLiteral(" is not a regular file: a measurement run writes its rows only "
                                "into a regular file."));
}

void RunTest::csvReadsBack()
{
    // Whatever a reply holds, a standard CSV reader gives it back: the replies of the fuzz
    // corpus, written as rows and read with Python's csv module.
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    QStringList replies;
    const QDir corpus(QStringLiteral(BVTERM_CSV_CORPUS));
    for (const QString& name : corpus.entryList(QDir::Files, QDir::Name)) {
        QFile seed(corpus.filePath(name));
        QVERIFY(seed.open(QIODevice::ReadOnly));
        replies << QString::fromLatin1(seed.readAll());
    }
    QVERIFY(replies.size() >= 5);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("run.csv"));
    {
        RunCsvFile csv;
        QCOMPARE(csv.open(path), QString());
        QCOMPARE(csv.begin(CsvFormat::headerLine()), QString());
        for (const QString& reply : replies) {
            RunRow row;
            row.status = RunStatus::Unsolicited;
            row.reply = reply;
            row.value = replyValue(reply);
            QCOMPARE(csv.append(CsvFormat::rowLine(row, QTimeZone::utc())), QString());
        }
    }
    QProcess reader;
    reader.start(python, {QStringLiteral("-c"),
                          QStringLiteral("import csv, sys\n"
                                         "rows = list(csv.DictReader(open(sys.argv[1], "
                                         "encoding='utf-8-sig', newline='')))\n"
                                         "sys.stdout.buffer.write('\\0'.join(r['reply'] for r "
                                         "in rows).encode('utf-8'))\n"),
                          path});
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()).split(QChar(0)), replies);
}

// The rows of a CSV file as "status=reply value", header and byte order mark checked.
QStringList fileRows(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("no file")};
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("\xEF\xBB\xBF" + CsvFormat::headerLine()) || !bytes.endsWith("\r\n"))
        return {QStringLiteral("no header, or a line without its end")};
    QStringList rows;
    for (const QString& line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n")).mid(1)) {
        const QStringList fields = line.split(u',');
        if (fields.size() < 7)
            continue;
        rows << fields[6] + (fields[3].isEmpty() ? QString() : u'=' + fields[3]) +
                    (fields[4].isEmpty() ? QString() : u' ' + fields[4]);
    }
    return rows;
}

void RunTest::csvWriteFailures_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("rows");    // of the CSV file in the end
    QTest::addColumn<QStringList>("unsaved"); // of the file of rows that could not be written
    // Steps: r:TEXT a row; full and room (a file size limit of the file as it is, and none);
    // rm and mkdir the CSV file's folder; sync (a second after the last); retry; end.
    QTest::newRow("a full disk for a while")
        << "r:1 full r:2 r:3 retry room r:4 retry r:5" << QStringList{"started",
                                                                      "ok=1",
                                                                      "write failed=File too large",
                                                                      "ok=2",
                                                                      "ok=3",
                                                                      "ok=4",
                                                                      "written again 3",
                                                                      "ok=5"}
        << QStringList{};
    QTest::newRow("the folder removed, and back")
        << "r:1 sync rm r:2 sync r:3 retry mkdir retry r:4"
        << QStringList{"started",
                       "write failed=the file was removed or replaced",
                       "ok=2",
                       "ok=3",
                       "written again 2",
                       "ok=4"}
        << QStringList{};
    QTest::newRow("full until the end: the rows go beside it")
        << "r:1 full r:2 end" << QStringList{"started", "ok=1"}
        << QStringList{"started", "write failed=File too large", "ok=2", "stopped=Stop pressed"};
    QTest::newRow("the folder gone for good: the rows go to the other folder")
        << "r:1 rm sync r:2 end" << QStringList{"no file"}
        << QStringList{"started", "write failed=the file was removed or replaced", "ok=1", "ok=2",
                       "stopped=Stop pressed"};
}

void RunTest::csvWriteFailures()
{
#ifndef Q_OS_UNIX
    QSKIP("A file size limit, and a folder removed under an open file, are Unix's");
#else
    QFETCH(QString, steps);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, unsaved);
    QTemporaryDir top;
    const QString folder = top.filePath(QStringLiteral("data"));
    const QString fallback = top.filePath(QStringLiteral("documents"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(fallback));
    const QString path = QDir(folder).filePath(QStringLiteral("run.csv"));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    TestClock clock;
    RunCsvFile file;
    QCOMPARE(file.open(path), QString());
    QCOMPARE(file.begin(CsvFormat::headerLine()), QString());
    RunCsvWriter writer(file, clock, QTimeZone::utc());
    RunRow row;
    row.status = RunStatus::Started;
    writer.write(row);
    QString savedTo;
    for (const QString& step : steps.split(u' ')) {
        clock.ns += 100'000'000;
        if (step.startsWith(QLatin1String("r:"))) {
            row.status = RunStatus::Ok;
            row.reply = step.mid(2);
            writer.write(row);
        } else if (step == QLatin1String("full")) {
            rlimit limit = unlimited;
            limit.rlim_cur = rlim_t(QFileInfo(path).size());
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        } else if (step == QLatin1String("room")) {
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        } else if (step == QLatin1String("rm")) {
            QVERIFY(QDir(folder).removeRecursively());
        } else if (step == QLatin1String("mkdir")) {
            QVERIFY(QDir().mkpath(folder));
        } else if (step == QLatin1String("sync")) {
            clock.ns += 1'000'000'000;
            writer.cycleEnded();
        } else if (step == QLatin1String("retry")) {
            writer.retry();
        } else if (step == QLatin1String("end")) {
            row.status = RunStatus::Stopped;
            row.reply = QStringLiteral("Stop pressed");
            writer.write(row);
            writer.runEnded();
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
            savedTo = writer.saveWaiting(fallback);
        }
    }
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    file.close();
    QCOMPARE(fileRows(path), rows);
    QCOMPARE(savedTo.isEmpty(), unsaved.isEmpty());
    if (!savedTo.isEmpty()) {
        QCOMPARE(QFileInfo(savedTo).fileName(), writer.unsavedName());
        QVERIFY(writer.unsavedName().startsWith(QLatin1String("run.unsaved-")));
        // Beside the CSV file when its folder is there, else in the other one.
        QCOMPARE(QFileInfo(savedTo).absolutePath(), QDir(folder).exists() ? folder : fallback);
        QCOMPARE(fileRows(savedTo), unsaved);
    }
#endif
}

void RunTest::definitionRoundTrip()
{
    QTemporaryDir folder;
    RunDefinition definition;
    definition.port = 7;
    definition.baudRate = QStringLiteral("115200");
    definition.timeoutSeconds = 12;
    definition.periodMs = 1500;
    definition.replyTimeoutMs = 50;
    definition.cycles = 1'000'000'000;
    definition.csvFile = QDir::toNativeSeparators(folder.filePath(QStringLiteral("data/run.csv")));
    definition.commands = {QStringLiteral("TEMP?"), QStringLiteral("  SET A,B\\C=1 "),
                           QStringLiteral("x;y # z \u00b5")};
    const QString path = folder.filePath(QStringLiteral("run.ini"));
    QCOMPARE(RunDefinitionFile::write(path, definition), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("[Run]\r\nPort=7\r\nBaudRate=115200\r\nTimeoutSeconds=12\r\n"
                        "Every=1.5\r\nReplyTimeout=0.05\r\nCycles=1000000000\r\n") +
                 QDir::toNativeSeparators(QStringLiteral("CsvFile=data/run.csv")).toUtf8() +
                 "\r\nCommand1=TEMP?\r\nCommand2=  SET A,B\\C=1 \r\n"
                 "Command3=x;y # z \xC2\xB5\r\n");
    RunDefinition read;
    QCOMPARE(RunDefinitionFile::read(
                 path, [](int port) { return port <= 12; }, &read),
             QString());
    QCOMPARE(read, definition);
}

void RunTest::definitionErrors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    const QByteArray good = "[Run]\nPort=5\nBaudRate=9600\nTimeoutSeconds=5\nEvery=1\n"
                            "ReplyTimeout=1\nCycles=0\nCsvFile=run.csv\nCommand1=TEMP?\n";
    const auto with = [&good](const char* from, const char* to) {
        QByteArray text = good;
        return text.replace(from, to);
    };
    QTest::newRow("missing key") << with("Cycles=0\n", "") << "key Cycles: missing.";
    QTest::newRow("unknown key") << with("Cycles=0\n", "Cycles=0\nColour=red\n")
                                 << "key Colour: unknown key.";
    QTest::newRow("keys are case-sensitive")
        << with("Every=", "every=") << "key every: unknown key.";
    QTest::newRow("port not offered")
        << with("Port=5", "Port=13") << "key Port: \"13\" is not a port that the port list offers.";
    QTest::newRow("rate not in the list")
        << with("BaudRate=9600", "BaudRate=9601")
        << "key BaudRate: \"9601\" is not one of the rates 115200, 57600, 38400, 19200, 9600, "
           "4800, 1200, 600, 300, 150.";
    QTest::newRow("time-out out of range")
        << with("TimeoutSeconds=5", "TimeoutSeconds=100")
        << "key TimeoutSeconds: \"100\" is not a whole number of seconds from 1 to 99.";
    QTest::newRow("period too short")
        << with("Every=1", "Every=0.099")
        << "key Every: \"0.099\" is not a number of seconds from 0.1 to 86400 with at most three "
           "decimals and \".\" as the decimal point.";
    QTest::newRow("a comma is no decimal point in the file")
        << with("ReplyTimeout=1", "ReplyTimeout=0,5")
        << "key ReplyTimeout: \"0,5\" is not a number of seconds from 0.05 to 99 with at most "
           "three decimals and \".\" as the decimal point.";
    QTest::newRow("value not trimmed")
        << with("Cycles=0", "Cycles=0 ")
        << "key Cycles: \"0 \" is not a whole number from 0 (until stopped) to 1000000000.";
    QTest::newRow("unsendable command")
        << with("Command1=TEMP?", "Command1=T\xE2\x88\x92")
        << "key Command1: \"\u2212\" (U+2212) cannot be sent to the instrument, which takes only "
           "the characters U+0000 to U+00FF (Latin-1).";
    QTest::newRow("commands with a gap")
        << with("Command1=TEMP?\n", "Command1=TEMP?\nCommand3=PRES?\n")
        << "key Command2: missing (commands are numbered without gaps).";
    QTest::newRow("no command") << with("Command1=TEMP?\n", "")
                                << "key Command1: missing (a run needs at least one command).";
    QTest::newRow("given twice") << with("Cycles=0\n", "Cycles=0\nCycles=1\n")
                                 << "key Cycles: it is given twice.";
}

void RunTest::definitionErrors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    RunDefinition definition;
    definition.port = 3;
    QCOMPARE(RunDefinitionFile::parse(
                 text, QStringLiteral("run.ini"), [](int port) { return port >= 1 && port <= 12; },
                 &definition),
             QStringLiteral("run.ini: ") + error);
    QCOMPARE(definition.port, 3); // nothing changed
}

void RunTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("definition"); // written to run.ini
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("error");
    QTest::newRow("help") << QStringList{"--help"} << QByteArray() << 0
                          << "Usage: bvterm [--run FILE]\n"
                          << "";
    QTest::newRow("an unknown argument")
        << QStringList{"-platform", "offscreen", "--colour"} << QByteArray() << 2 << ""
        << "bvterm: \"--colour\" is not an argument that bvterm knows. Try \"bvterm --help\".\n";
    QTest::newRow("a missing file")
        << QStringList{"--run", "FOLDER/none.ini"} << QByteArray() << 2 << ""
        << "bvterm: FOLDER/none.ini is not a run definition file: it does not exist.\n";
    QTest::newRow("a bad key") << QStringList{"--run", "FOLDER/run.ini"}
                               << QByteArray("[Run]\nPort=5\nColour=red\n") << 2 << ""
                               << "bvterm: FOLDER/run.ini: key Colour: unknown key.\n";
}

void RunTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, definition);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, error);
    QTemporaryDir folder;
    if (!definition.isEmpty()) {
        QFile file(folder.filePath(QStringLiteral("run.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(definition);
    }
    arguments.replaceInStrings(QStringLiteral("FOLDER"), folder.path());
    QProcess bvterm;
    // A runtime folder of its own, so that Qt has nothing to say about a missing one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
    bvterm.setProcessEnvironment(environment);
    // The program in the folder above the tests', which also works under Wine, where the
    // build's paths are not Windows paths.
#ifdef Q_OS_WIN
    const QString program = QStringLiteral("../bvterm.exe");
#else
    const QString program = QStringLiteral("../bvterm");
#endif
    bvterm.start(QDir(QCoreApplication::applicationDirPath()).filePath(program), arguments);
    QVERIFY(bvterm.waitForFinished(30000));
    QCOMPARE(bvterm.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bvterm.exitCode(), status);
    const QString printed = QString::fromLocal8Bit(bvterm.readAllStandardOutput());
    QVERIFY2(out.isEmpty() ? printed.isEmpty() : printed.startsWith(out), qPrintable(printed));
    QCOMPARE(
        QString::fromLocal8Bit(bvterm.readAllStandardError()),
        QDir::toNativeSeparators(QString(error).replace(QLatin1String("FOLDER"), folder.path())));
}

QTEST_GUILESS_MAIN(RunTest)
#include "tst_run.moc"
