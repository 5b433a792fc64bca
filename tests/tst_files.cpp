// Streaming replies to a file, the file prompt, saving the log, and the reference viewer.

#include "app/frmMain.h"
#include "help/HelpCommand.h"
#include "log/ResponseListView.h"
#include "log/StreamingColors.h"
#include "log/TextFiles.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Rows = QList<std::pair<QString, QString>>;

const QByteArray kHeader = "Baroventis\xae Terminal Data Output\r\n\r\n";
const QRegularExpression kDateLine(QStringLiteral(R"(^Date:\S+ \S+.*$)"));

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// The saved file without its date line, which is checked by pattern.
QByteArray withoutDate(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() > 2 && kDateLine.match(QString::fromLatin1(lines[2]).chopped(1)).hasMatch())
        lines[2] = "Date:<date>\r";
    return lines.join('\n');
}

struct Window : TerminalBench {
    QTemporaryDir dir;

    Window()
    {
        // As after a disconnect with rows in the log.
        w.cmdSave->setEnabled(true);
        w.cmdClear->setEnabled(true);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void addRows(const Rows& rows)
    {
        for (const auto& [command, response] : rows) {
            const int row = w.lstResponse->AddRow(command);
            if (!response.isEmpty())
                w.lstResponse->SetResponse(row, response);
        }
    }
    void clickStream()
    {
        postToGui([this] { w.chkStream->click(); });
    }
    void clickSave()
    {
        postToGui([this] { w.cmdSave->click(); });
    }
};

} // namespace

class FilesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void savedBytes_data();
    void savedBytes();
    void saveReplacesAndRepeats();
    void dismissedSaveWritesNothing();
    void readOnlyTargetIsLeftAlone();
    void fullDiskKeepsTheOldFile();
    void pipeIsWrittenDirectly();
    void promptSettings();
    void streamingOnAndOff();
    void dismissedStreamPrompt();
    void saveWhileStreamingRetargets();
    void dismissedSaveWhileStreaming();
    void helpCommandLines_data();
    void helpCommandLines();
    void helpViewerGetsOneArgument();
};

void FilesTest::initTestCase()
{
    // A full disk shows up as a write error, not as a signal that ends the test.
    std::signal(SIGXFSZ, SIG_IGN);
}

void FilesTest::savedBytes_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("empty log") << Rows{} << QByteArray();
    QTest::newRow("command, stamped and plain replies")
        << Rows{{"ID", ""}, {"03/25/2026 14:07:09.045", "12.5"}, {"", "7"}}
        << QByteArray("ID,\r\n03/25/2026 14:07:09.045,12.5\r\n,7\r\n");
    QTest::newRow("commas unquoted, notices, 8-bit")
        << Rows{{"a,b", "1,2"},
                {"", "Data streaming canceled. "},
                {"T=25\u00b0C", "\u00b5V \u20ac"}}
        << QByteArray("a,b,1,2\r\n,Data streaming canceled. \r\nT=25\xb0"
                      "C,\xb5V ?\r\n");
}

void FilesTest::savedBytes()
{
    QFETCH(Rows, rows);
    QFETCH(QByteArray, lines);
    Window win;
    win.addRows(rows);
    const QString target = win.path("log.txt");
    runScenario(win.w, [&] {
        win.clickSave();
        QVERIFY(answerFileDialog(target));
        QTRY_COMPARE(win.messages.count(), 1);
    });
    QCOMPARE(win.messages.last().title, QStringLiteral("Info"));
    QCOMPARE(win.messages.last().icon, QMessageBox::Information);
    QCOMPARE(win.messages.last().text, "The data are in " + target);
    const QByteArray saved = readFile(target);
    QVERIFY2(saved.startsWith(kHeader), saved.constData());
    QCOMPARE(withoutDate(saved), kHeader + "Date:<date>\r\n\r\n" + lines);
    QCOMPARE(win.w.state().StreamFileName, target);
    QCOMPARE(win.w.state().CurrentItem, TerminalState::NoRow);
    QCOMPARE(win.w.lstResponse->Count(), rows.size()); // saving leaves the log as it was
}

void FilesTest::saveReplacesAndRepeats()
{
    Window win;
    win.addRows({{"ID", ""}, {"", "BV"}});
    const QString target = win.path("log.txt");
    writeFile(target, QByteArray(5000, 'x'));
    QByteArray first;
    runScenario(win.w, [&] {
        win.clickSave();
        QVERIFY(answerFileDialog(target)); // answers "replace?" too
        QTRY_COMPARE(win.messages.count(), 1);
        first = readFile(target);
        win.clickSave();
        QVERIFY(answerFileDialog(target));
        QTRY_COMPARE(win.messages.count(), 2);
    });
    QVERIFY(!first.contains('x'));
    QCOMPARE(withoutDate(readFile(target)), withoutDate(first));
}

void FilesTest::dismissedSaveWritesNothing()
{
    Window win;
    win.addRows({{"ID", ""}});
    win.w.state().StreamFileName = "/somewhere/earlier.txt";
    runScenario(win.w, [&] {
        win.clickSave();
        QVERIFY(dismissFileDialog());
    });
    QCOMPARE(win.messages.count(), 0);
    QCOMPARE(win.w.state().StreamFileName, QString());
    QCOMPARE(QDir(win.dir.path()).entryList(QDir::Files), QStringList());
    QVERIFY(win.w.state().VisualOutput);
    QCOMPARE(win.w.lstResponse->Count(), 1); // no notice while streaming was off
}

void FilesTest::readOnlyTargetIsLeftAlone()
{
    Window win;
    win.addRows({{"ID", ""}});
    const QString target = win.path("readonly.txt");
    writeFile(target, "keep me\r\n");
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    runScenario(win.w, [&] {
        win.clickSave();
        QVERIFY(answerFileDialog(target));
        QTRY_COMPARE(win.messages.count(), 1);
    });
    QCOMPARE(win.messages.last().title, QStringLiteral("Error"));
    QCOMPARE(win.messages.last().icon, QMessageBox::Information);
    QVERIFY2(win.messages.last().text.contains(target), qPrintable(win.messages.last().text));
    QCOMPARE(readFile(target), QByteArray("keep me\r\n"));
    QCOMPARE(win.w.state().StreamFileName, target);
}

void FilesTest::fullDiskKeepsTheOldFile()
{
    Window win;
    for (int i = 0; i < 2000; ++i)
        win.addRows({{QStringLiteral("command %1").arg(i), QStringLiteral("reply %1").arg(i)}});
    const QString target = win.path("full.txt");
    writeFile(target, "the old log\r\n");
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    runScenario(win.w, [&] {
        win.clickSave();
        // Files may grow to 4 KiB while the save runs: the disk is full after that.
        rlimit small = previous;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        QVERIFY(answerFileDialog(target));
        QTRY_COMPARE(win.messages.count(), 1);
        setrlimit(RLIMIT_FSIZE, &previous);
    });
    setrlimit(RLIMIT_FSIZE, &previous);
    QCOMPARE(win.messages.last().title, QStringLiteral("Error"));
    QCOMPARE(readFile(target), QByteArray("the old log\r\n"));
    // No half-written file is left behind either.
    QCOMPARE(QDir(win.dir.path()).entryList(QDir::Files), QStringList{"full.txt"});
}

void FilesTest::pipeIsWrittenDirectly()
{
    Window win;
    win.addRows({{"ID", "BV"}});
    const QString target = win.path("pipe");
    QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0644), 0);
    QByteArray received;
    std::thread reader([&] {
        QFile fifo(target);
        if (fifo.open(QIODevice::ReadOnly))
            received = fifo.readAll();
    });
    runScenario(win.w, [&] {
        win.clickSave();
        QVERIFY(answerFileDialog(target));
        QTRY_COMPARE(win.messages.count(), 1);
    });
    reader.join();
    QCOMPARE(win.messages.last().title, QStringLiteral("Info"));
    QCOMPARE(withoutDate(received), kHeader + "Date:<date>\r\n\r\nID,BV\r\n");
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode)); // still the pipe, not a file put in its place
}

void FilesTest::promptSettings()
{
    Window win;
    FileDialogView first;
    FileDialogView second;
    const QString typed = win.path("run1");
    runScenario(win.w, [&] {
        win.clickStream();
        QVERIFY(waitForFileDialog(&first));
        QVERIFY(answerFileDialog(typed));
        QVERIFY(waitForNoModal());
        postToGui([&] { win.w.chkStream->click(); }); // off
        win.clickStream();                            // on again: asks again
        QVERIFY(waitForFileDialog(&second));
        QVERIFY(dismissFileDialog());
    });
    QCOMPARE(first.title, QStringLiteral("Please enter a file name"));
    QCOMPARE(first.nameFilters, QStringList{"Text Files (*.txt)"});
    QCOMPARE(first.directory, QCoreApplication::applicationDirPath());
    QCOMPARE(first.offeredName, QString());
    QVERIFY(!first.native);
    QVERIFY(first.saveForm);
    QVERIFY(first.confirmsOverwrite);
    // The second prompt offers the first choice, in its folder.
    QCOMPARE(second.offeredName, QStringLiteral("run1"));
    QCOMPARE(second.directory, win.dir.path());
}

void FilesTest::streamingOnAndOff()
{
    Window win;
    const QString target = win.path("stream.txt");
    runScenario(win.w, [&] {
        win.clickStream();
        QVERIFY(answerFileDialog(target));
        QVERIFY(waitForNoModal());
    });
    // A name chosen without ".txt" is used as typed; here it has one.
    QCOMPARE(win.w.state().StreamFileName, target);
    QVERIFY(!win.w.state().VisualOutput);
    QVERIFY(win.w.chkStream->isChecked());
    QCOMPARE(win.w.lstResponse->BackColor(), streamingBackground());
    QCOMPARE(win.w.lstResponse->Count(), 1);
    QCOMPARE(win.w.lstResponse->Row(1).Command, QString());
    QCOMPARE(win.w.lstResponse->Row(1).Response, "Data is going to be streamed to " + target);
    QVERIFY(!QFile::exists(target)); // created by the first streamed line only

    win.w.chkStream->click(); // off
    QVERIFY(win.w.state().VisualOutput);
    QCOMPARE(win.w.lstResponse->BackColor(), loggingBackground());
    QCOMPARE(win.w.state().StreamFileName, target);
    QCOMPARE(win.w.lstResponse->Count(), 2);
    QCOMPARE(win.w.lstResponse->Row(2).Response, QStringLiteral("Data streaming canceled. "));
    QCOMPARE(win.w.state().CurrentItem, TerminalState::NoRow);
    QCOMPARE(win.messages.count(), 0);
}

void FilesTest::dismissedStreamPrompt()
{
    Window win;
    win.w.state().StreamFileName = "/somewhere/earlier.txt";
    runScenario(win.w, [&] {
        win.clickStream();
        QVERIFY(dismissFileDialog());
    });
    QVERIFY(!win.w.chkStream->isChecked());
    QVERIFY(win.w.state().VisualOutput);
    QCOMPARE(win.w.state().StreamFileName, QString());
    QCOMPARE(win.w.lstResponse->BackColor(), loggingBackground());
    QCOMPARE(win.w.lstResponse->Count(), 1); // exactly one notice
    QCOMPARE(win.w.lstResponse->Row(1).Response, QStringLiteral("Data streaming canceled. "));
}

void FilesTest::saveWhileStreamingRetargets()
{
    Window win;
    const QString stream = win.path("stream.txt");
    const QString saved = win.path("saved.txt");
    runScenario(win.w, [&] {
        win.clickStream();
        QVERIFY(answerFileDialog(stream));
        QVERIFY(waitForNoModal());
        win.clickSave();
        QVERIFY(answerFileDialog(saved));
        QTRY_COMPARE(win.messages.count(), 1);
        // Streaming goes on, now into the saved file, below the log's lines.
        QVERIFY(win.connect());
        win.line->write("42\r\n");
        QTRY_VERIFY(readFile(saved).endsWith(",Data is going to be streamed to " +
                                             QFile::encodeName(stream) + "\r\n42\r\n"));
    });
    QCOMPARE(win.w.state().StreamFileName, saved);
    QVERIFY(win.w.chkStream->isChecked());
    QVERIFY(!QFile::exists(stream));
}

void FilesTest::dismissedSaveWhileStreaming()
{
    Window win;
    const QString stream = win.path("stream.txt");
    runScenario(win.w, [&] {
        win.clickStream();
        QVERIFY(answerFileDialog(stream));
        QVERIFY(waitForNoModal());
        win.clickSave();
        QVERIFY(dismissFileDialog());
    });
    QVERIFY(!win.w.chkStream->isChecked());
    QVERIFY(win.w.state().VisualOutput);
    QCOMPARE(win.w.state().StreamFileName, QString());
    QCOMPARE(win.w.lstResponse->Count(), 2);
    QCOMPARE(win.w.lstResponse->Row(2).Response, QStringLiteral("Data streaming canceled. "));
    QCOMPARE(win.messages.count(), 0);
}

void FilesTest::helpCommandLines_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("desktopArgument");
    QTest::newRow("a folder") << "C:\\Tools"
                              << "HH.exe C:\\Tools\\BVTermHelp.chm"
                              << "C:\\Tools/BVTermHelp.chm";
    QTest::newRow("root of a drive") << "C:\\"
                                     << "HH.exe C:\\\\BVTermHelp.chm"
                                     << "C:\\/BVTermHelp.chm";
    QTest::newRow("blanks, unquoted") << "C:\\My Tools"
                                      << "HH.exe C:\\My Tools\\BVTermHelp.chm"
                                      << "C:\\My Tools/BVTermHelp.chm";
    QTest::newRow("unix folder with blanks") << "/opt/bv term"
                                             << "HH.exe /opt/bv term\\BVTermHelp.chm"
                                             << "/opt/bv term/BVTermHelp.chm";
    QTest::newRow("unix root") << "/"
                               << "HH.exe /\\BVTermHelp.chm"
                               << "/BVTermHelp.chm";
}

void FilesTest::helpCommandLines()
{
    QFETCH(QString, folder);
    QFETCH(QString, windows);
    QFETCH(QString, desktopArgument);
    QCOMPARE(windowsHelpCommandLine(folder), windows);
    const HelpProcess process = desktopHelpProcess(folder);
    QCOMPARE(process.program, QStringLiteral("xdg-open"));
    QCOMPARE(process.arguments, QStringList{desktopArgument});
}

void FilesTest::helpViewerGetsOneArgument()
{
    // A stand-in viewer on the search path records each argument it gets on a line of its own.
    QTemporaryDir bin;
    const QString record = bin.filePath("calls.txt");
    writeFile(bin.filePath("xdg-open"),
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" +
                  QFile::encodeName(record) + "'\necho -- >> '" + QFile::encodeName(record) +
                  "'\n");
    QFile::setPermissions(bin.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);

    frmMain w;
    w.cmdCommandList->click();
    w.cmdCommandList->click(); // each click starts a viewer of its own
    const QString odd = bin.filePath("with blanks; $(touch injected) 'q'");
    startHelpViewer(odd);
    qputenv("PATH", path);

    const QByteArray expected =
        QFile::encodeName(QCoreApplication::applicationDirPath()) + "/BVTermHelp.chm\n--\n";
    QTRY_COMPARE(readFile(record).count("--\n"), 3);
    const QByteArray calls = readFile(record);
    QVERIFY(calls.startsWith(expected + expected));
    QCOMPARE(calls.mid(2 * expected.size()), QFile::encodeName(odd) + "/BVTermHelp.chm\n--\n");
    QVERIFY(!QFile::exists(bin.filePath("injected")) && !QFile::exists("injected"));
}

QTEST_MAIN(FilesTest)
#include "tst_files.moc"
