// Streaming replies to a file, the file prompt, saving the log, and the reference viewer.

#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "help/HelpCommand.h"
#include "log/ResponseListView.h"
#include "log/StreamingColors.h"
#include "log/TextFiles.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/inotify.h>
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

// A FIFO's reading end, opened without waiting before the terminal writes, so that the
// terminal finds a reader there.
class PipeReader {
public:
    explicit PipeReader(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~PipeReader() { close(); }
    bool isOpen() const { return m_fd >= 0; }
    // How much the pipe holds before a writer has to wait.
    bool setCapacity(int bytes) { return ::fcntl(m_fd, F_SETPIPE_SZ, bytes) == bytes; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Reads until `count` bytes have come or the writer has closed the pipe after writing,
    // at most `chunk` bytes at a time and, as a slow reader does, pausing `pauseMs` after each.
    QByteArray read(qsizetype count, qsizetype chunk = 65536, int pauseMs = 0)
    {
        QByteArray got;
        const QDeadlineTimer deadline(60000);
        while (got.size() < count && !deadline.hasExpired()) {
            pollfd ready{m_fd, POLLIN, 0};
            ::poll(&ready, 1, 100);
            QByteArray buffer(std::min(chunk, count - got.size()), Qt::Uninitialized);
            const ssize_t n = ::read(m_fd, buffer.data(), size_t(buffer.size()));
            if (n > 0) {
                got += buffer.left(n);
                if (pauseMs > 0)
                    QThread::msleep(pauseMs);
            } else if (n == 0 && !got.isEmpty()) {
                break; // the writer is done
            }
        }
        return got;
    }

private:
    int m_fd = -1;
};

bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool isFifo(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// Whether SIGPIPE is among the ignored signals in a "SigIgn:" mask from /proc/<pid>/status.
bool ignoresSigPipe(const QByteArray& hexMask)
{
    bool ok = false;
    const qulonglong mask = hexMask.trimmed().toULongLong(&ok, 16);
    return ok && ((mask >> (SIGPIPE - 1)) & 1) == 1;
}

QByteArray ignoredSignals(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith("SigIgn:"))
            return line.mid(7).trimmed();
    return QByteArray();
}

// SIGPIPE's disposition for the length of a test.
class SigPipeDisposition {
public:
    explicit SigPipeDisposition(void (*handler)(int)) : m_previous(std::signal(SIGPIPE, handler)) {}
    ~SigPipeDisposition() { std::signal(SIGPIPE, m_previous); }

private:
    void (*m_previous)(int);
};

// The help file beside the test program while the guard lives; one that was there is kept.
class HelpFileBesideProgram {
public:
    HelpFileBesideProgram()
    {
        if (!QFile::exists(path)) {
            writeFile(path, "help");
            m_made = true;
        }
    }
    ~HelpFileBesideProgram()
    {
        if (m_made)
            QFile::remove(path);
    }
    const QString path = QCoreApplication::applicationDirPath() + "/BVTermHelp.chm";

private:
    bool m_made = false;
};

// A stand-in for xdg-open, alone on the search path while it lives (no script: no xdg-open).
class FakeOpener {
public:
    explicit FakeOpener(const QByteArray& script) : m_path(qgetenv("PATH"))
    {
        if (!script.isEmpty()) {
            writeFile(bin.filePath("xdg-open"), "#!/bin/sh\n" + script);
            QFile::setPermissions(bin.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(bin.path()));
    }
    ~FakeOpener() { qputenv("PATH", m_path); }
    QTemporaryDir bin;

private:
    QByteArray m_path;
};

// Which files of a folder anyone opens while it lives (through inotify).
class OpenedFiles {
public:
    explicit OpenedFiles(const QString& folder) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS);
    }
    ~OpenedFiles() { ::close(m_fd); }
    OpenedFiles(const OpenedFiles&) = delete;
    OpenedFiles& operator=(const OpenedFiles&) = delete;
    // The names of the files opened or read so far; the folder itself, which a listing reads,
    // does not count.
    QStringList names()
    {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        ssize_t size = 0;
        while ((size = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && !(event->mask & IN_ISDIR))
                    names << QString::fromLocal8Bit(event->name);
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        names.removeDuplicates();
        return names;
    }

private:
    int m_fd = -1;
};

// Runs `condition` on the GUI thread until it holds, for at most `timeoutMs`. A window that
// stops answering for good (a prompt waiting in a read) ends the test program at once: nothing
// could bring it back to rest.
bool waitOnGui(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        auto answer = std::make_shared<std::atomic<int>>(-1);
        postToGui([answer, condition] { *answer = condition() ? 1 : 0; });
        const QDeadlineTimer asked(10000);
        while (*answer < 0 && !asked.hasExpired())
            QThread::msleep(2);
        if (*answer < 0)
            qFatal("The window stopped answering while a file prompt was open.");
        if (*answer == 1)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
}

// The file dialog that is open in the window or in its chart, a window of its own.
QFileDialog* openFileDialog()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        for (QFileDialog* dialog : window->findChildren<QFileDialog*>())
            if (dialog->isVisible())
                return dialog;
    return nullptr;
}

// The open dialog lists its folder, every entry with its type: the whole folder has been looked
// at, since a batch of entries shows only once each of them has been.
bool promptHasListedItsFolder()
{
    QFileDialog* dialog = openFileDialog();
    auto* model = dialog ? dialog->findChild<QFileSystemModel*>() : nullptr;
    if (!model)
        return false;
    const QModelIndex folder = model->index(dialog->directory().absolutePath());
    const int rows = model->rowCount(folder);
    for (int row = 0; row < rows; ++row)
        if (model->index(row, 2, folder).data().toString().isEmpty())
            return false;
    return rows > 0;
}

// Log rows "command i" / "reply i" and the lines a save writes for them.
Rows numberedRows(int count, QByteArray* lines)
{
    Rows rows;
    for (int i = 0; i < count; ++i) {
        rows.append({QStringLiteral("command %1").arg(i), QStringLiteral("reply %1").arg(i)});
        *lines += QStringLiteral("command %1,reply %1\r\n").arg(i).toLatin1();
    }
    return rows;
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
    void pipeWithoutReader_data();
    void pipeWithoutReader();
    void pipeReaderLeaves_data();
    void pipeReaderLeaves();
    void slowPipeReaderIsNoFailure();
    void stalledPipeReaderFails();
    void promptSettings();
    void promptsOpenNoListedFile_data();
    void promptsOpenNoListedFile();
    void replaceQuestionOnlyForSave_data();
    void replaceQuestionOnlyForSave();
    void streamingOnAndOff();
    void streamFileCheckedWhenChosen_data();
    void streamFileCheckedWhenChosen();
    void dismissedStreamPrompt();
    void saveWhileStreamingRetargets();
    void dismissedSaveWhileStreaming();
    void helpCommandLines_data();
    void helpCommandLines();
    void helpViewerGetsOneArgument();
    void referenceWithoutHelpFile();
    void referenceWithoutViewer_data();
    void referenceWithoutViewer();
    void helpViewerStartsWithDefaultSignals();

private:
    QTemporaryDir m_settings;
};

void FilesTest::initTestCase()
{
    // Qt's file dialog keeps the folder it was in last among the user's settings, and lists it
    // again when the next dialog opens, in any program: the tests keep theirs to themselves.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings.path()));
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

void FilesTest::pipeWithoutReader_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("streaming") << false
                               << "Could not write to the stream file %1: nothing is reading "
                                  "from it."
                               << int(QMessageBox::Warning);
    QTest::newRow("saving") << true
                            << "The log could not be saved to %1: nothing is reading from it."
                            << int(QMessageBox::Information);
}

void FilesTest::pipeWithoutReader()
{
    QFETCH(bool, save);
    QFETCH(QString, text);
    QFETCH(int, icon);
    Window win;
    const QString fifo = win.path("pipe");
    QVERIFY(makeFifo(fifo));
    win.addRows({{"ID", "BV"}});
    if (!save)
        win.streamTo(fifo);
    runScenario(win.w, [&] {
        if (save) {
            win.clickSave();
            QVERIFY(answerFileDialog(fifo));
        } else {
            QVERIFY(win.connect());
            win.line->write("first\r\n");
        }
        // At once, not when a reader comes: opening the pipe does not wait.
        QTRY_COMPARE(win.messages.count(), 1);
        if (!save) {
            // The line that could not be streamed is in the log; the terminal goes on.
            QCOMPARE(win.responses(), QStringList({"BV", "first", "Data streaming canceled. "}));
            QVERIFY(win.usable());
        }
    });
    QCOMPARE(win.messages.all().front().title, QStringLiteral("Error"));
    QCOMPARE(int(win.messages.all().front().icon), icon);
    QCOMPARE(win.messages.all().front().text, text.arg(fifo));
    QVERIFY(isFifo(fifo));
}

void FilesTest::pipeReaderLeaves_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("text");
    // Streaming opens the pipe for each line: after the reader has gone, the next line finds
    // nobody there.
    QTest::newRow("streaming, between lines")
        << false << "Could not write to the stream file %1: nothing is reading from it.";
    // Saving writes on while the reader goes away.
    QTest::newRow("saving, in the middle of the log")
        << true << "The log could not be saved to %1: nothing is reading from it any more.";
}

void FilesTest::pipeReaderLeaves()
{
    QFETCH(bool, save);
    QFETCH(QString, text);
    // A broken pipe must not end the program, whatever the disposition of SIGPIPE.
    const SigPipeDisposition byDefault(SIG_DFL);
    Window win;
    const QString fifo = win.path("pipe");
    QVERIFY(makeFifo(fifo));
    QByteArray lines;
    if (save)
        win.addRows(numberedRows(20000, &lines)); // far more than the pipe holds
    else
        win.streamTo(fifo);
    PipeReader reader(fifo);
    QVERIFY(reader.isOpen());
    QByteArray received;
    runScenario(win.w, [&] {
        if (save) {
            // The reader takes 16 KiB and leaves, on its own, whatever the window does.
            std::thread leaving([&] {
                received = reader.read(16384);
                reader.close();
            });
            win.clickSave();
            const bool answered = answerFileDialog(fifo);
            leaving.join();
            QVERIFY(answered);
        } else {
            QVERIFY(win.connect());
            win.line->write("one\r\n");
            received = reader.read(5);
            reader.close();
            win.line->write("two\r\n");
        }
        QTRY_COMPARE(win.messages.count(), 1);
        if (!save) {
            QCOMPARE(win.responses(), QStringList({"two", "Data streaming canceled. "}));
            QVERIFY(win.usable());
        }
    });
    QCOMPARE(win.messages.last().title, QStringLiteral("Error"));
    QCOMPARE(win.messages.last().text, text.arg(fifo));
    if (save) {
        QCOMPARE(received.size(), 16384);
        QCOMPARE(received.left(kHeader.size() + 5), kHeader + "Date:");
    } else {
        QCOMPARE(received, QByteArray("one\r\n"));
    }
}

void FilesTest::slowPipeReaderIsNoFailure()
{
    Window win;
    const QString fifo = win.path("pipe");
    QVERIFY(makeFifo(fifo));
    QByteArray lines;
    win.addRows(numberedRows(2600, &lines)); // a little more than 64 KiB
    PipeReader reader(fifo);
    QVERIFY(reader.isOpen());
    QVERIFY(reader.setCapacity(4096));
    QByteArray received;
    runScenario(win.w, [&] {
        // 4 KiB each 0.4 s: the save, and each 64 KiB piece of it, takes longer than the 5 s
        // without progress that would fail it, but it never waits that long for room.
        std::thread slow([&] { received = reader.read(lines.size() + 4096, 4096, 400); });
        win.clickSave();
        const bool answered = answerFileDialog(fifo);
        slow.join();
        QVERIFY(answered);
        QTRY_COMPARE(win.messages.count(), 1);
    });
    QCOMPARE(win.messages.last().title, QStringLiteral("Info"));
    QCOMPARE(win.messages.last().text, "The data are in " + fifo);
    QCOMPARE(withoutDate(received), kHeader + "Date:<date>\r\n\r\n" + lines);
}

void FilesTest::stalledPipeReaderFails()
{
    Window win;
    const QString fifo = win.path("pipe");
    QVERIFY(makeFifo(fifo));
    QByteArray lines;
    win.addRows(numberedRows(5000, &lines)); // more than the pipe holds
    PipeReader reader(fifo);                 // there, but takes nothing
    QVERIFY(reader.isOpen());
    int shownWhileWriting = -1;
    runScenario(win.w, [&] {
        win.clickSave();
        QVERIFY(answerFileDialog(fifo));
        // No event is handled while the write waits for room in the pipe, so no handler runs
        // in the middle of it: this call is answered only once the save has failed.
        shownWhileWriting = onGui([&] { return win.messages.count(); });
        QTRY_COMPARE_WITH_TIMEOUT(win.messages.count(), 1, 30000);
    });
    QCOMPARE(shownWhileWriting, 1);
    QCOMPARE(win.messages.last().title, QStringLiteral("Error"));
    QCOMPARE(win.messages.last().text, "The log could not be saved to " + fifo +
                                           ": nothing was taken from it for 5 seconds.");
    QVERIFY(isFifo(fifo));
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
    QVERIFY(!first.confirmsOverwrite); // the stream file is appended to
    // The second prompt offers the first choice, in its folder, ready to be typed over.
    QCOMPARE(second.offeredName, QStringLiteral("run1"));
    QVERIFY(second.nameSelected && second.nameHasFocus);
    QCOMPARE(second.directory, win.dir.path());
}

void FilesTest::promptsOpenNoListedFile_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("inProc");
    for (const char* prompt : {"stream", "save", "chart"}) {
        QTest::addRow("%s prompt, files and pipes", prompt) << QString(prompt) << false;
        QTest::addRow("%s prompt, /proc", prompt) << QString(prompt) << true;
    }
}

void FilesTest::promptsOpenNoListedFile()
{
    // Reading some files waits for ever: /proc/kmsg, a pipe nobody writes to, a file on a hung
    // network mount. A prompt lists them without looking into any, and the window goes on.
    QFETCH(QString, prompt);
    QFETCH(bool, inProc);
    Window win;
    win.addRows({{"", "1"}}); // a reading for the chart
    const QString folder = inProc ? QStringLiteral("/proc") : win.dir.path();
    if (!inProc) {
        // Files whose names do not tell what they hold, and pipes without a writer.
        writeFile(win.path("notes"), "some notes\n");
        writeFile(win.path("picture"), QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(64, 0));
        writeFile(win.path("notes.txt"), "some notes\n");
        writeFile(win.path("picture.png"), QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(64, 0));
        for (const char* pipe : {"pipe", "pipe.txt", "pipe.png"})
            QVERIFY(makeFifo(win.path(pipe)));
    }
    const bool chart = prompt == "chart";
    // Each prompt offers a file in that folder, and so opens there.
    const QString offered = folder + (chart ? "/chart.png" : "/stream.txt");
    win.w.FileName.offeredName = offered;
    if (chart)
        win.w.mnuChart->trigger();
    ChartWindow* const chartWindow = win.w.chartWindow();
    runScenario(win.w, [&] {
        const auto ask = [&] {
            if (prompt == "stream")
                win.clickStream();
            else if (prompt == "save")
                win.clickSave();
            else
                postToGui([&] { chartWindow->saveButton()->click(); });
        };
        if (chart) {
            // The chart's prompt offers the file chosen at its last prompt.
            ask();
            QVERIFY(waitOnGui([&] { return openFileDialog() != nullptr; }));
            onGui([&] {
                QFileDialog* dialog = openFileDialog();
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(offered);
                static_cast<QDialog*>(dialog)->accept();
            });
            if (inProc) { // the chart cannot be saved there: its message is closed
                QVERIFY(waitOnGui([&] { return chartWindow->findChild<QMessageBox*>(); }));
                onGui([&] { chartWindow->findChild<QMessageBox*>()->close(); });
            }
            QVERIFY(waitOnGui([&] { return openFileDialog() == nullptr; }));
        }
        OpenedFiles opened(folder);
        ask();
        QVERIFY(waitOnGui([&] { return promptHasListedItsFolder(); }));
        QCOMPARE(onGui([&] { return openFileDialog()->directory().absolutePath(); }), folder);
        QVERIFY(waitOnGui([] { return true; }, 0));
        const QStringList read = opened.names();
        QVERIFY2(read.isEmpty(), qPrintable("opened: " + read.join(", ")));
        postToGui([&] { openFileDialog()->reject(); });
        QVERIFY(waitOnGui([&] { return openFileDialog() == nullptr; }));
    });
}

void FilesTest::replaceQuestionOnlyForSave_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("asked");
    QTest::newRow("stream file: appended to, no question") << false << false;
    QTest::newRow("saved log: replaced, asked first") << true << true;
}

void FilesTest::replaceQuestionOnlyForSave()
{
    QFETCH(bool, save);
    QFETCH(bool, asked);
    Window win;
    win.addRows({{"ID", "BV"}});
    const QString target = win.path("existing.txt");
    writeFile(target, "old\r\n");
    bool questioned = !asked;
    runScenario(win.w, [&] {
        if (save)
            win.clickSave();
        else
            win.clickStream();
        QVERIFY(answerFileDialog(target, &questioned));
        if (save) {
            QTRY_COMPARE(win.messages.count(), 1);
            return;
        }
        QVERIFY(win.connect());
        win.line->write("new\r\n");
        QTRY_COMPARE(readFile(target), QByteArray("old\r\nnew\r\n"));
    });
    QCOMPARE(questioned, asked);
    if (save)
        QCOMPARE(withoutDate(readFile(target)), kHeader + "Date:<date>\r\n\r\nID,BV\r\n");
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
    QCOMPARE(readFile(target), QByteArray()); // made when chosen, empty

    win.w.chkStream->click(); // off
    QVERIFY(win.w.state().VisualOutput);
    QCOMPARE(win.w.lstResponse->BackColor(), loggingBackground());
    QCOMPARE(win.w.state().StreamFileName, target);
    QCOMPARE(win.w.lstResponse->Count(), 2);
    QCOMPARE(win.w.lstResponse->Row(2).Response, QStringLiteral("Data streaming canceled. "));
    QCOMPARE(win.w.state().CurrentItem, TerminalState::NoRow);
    QCOMPARE(win.messages.count(), 0);
}

void FilesTest::streamFileCheckedWhenChosen_data()
{
    // The stream file, in the test's folder unless it is a whole path; "" when it can be used.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a new file, made") << "new.txt"
                                      << "";
    QTest::newRow("an existing file, left as it was") << "existing.txt"
                                                      << "";
    QTest::newRow("a pipe with a reader") << "pipe with reader"
                                          << "";
    QTest::newRow("/proc") << "/proc/bvterm-stream.txt"
                           << "No such file or directory";
    QTest::newRow("a folder that is gone") << "gone/stream.txt"
                                           << "No such file or directory";
    QTest::newRow("a pipe without a reader") << "pipe"
                                             << "nothing is reading from it";
}

void FilesTest::streamFileCheckedWhenChosen()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    Window win;
    const QString target = name.startsWith('/') ? name : win.path(name);
    writeFile(win.path("existing.txt"), "old\r\n");
    QVERIFY(makeFifo(win.path("pipe")) && makeFifo(win.path("pipe with reader")));
    PipeReader reader(win.path("pipe with reader"));
    FileDialogView next;
    runScenario(win.w, [&] {
        win.clickStream();
        QVERIFY(answerFileDialog(target));
        QVERIFY(waitForNoModal());
        if (reason.isEmpty())
            return;
        QCOMPARE(win.responses(), QStringList{"Data streaming canceled. "});
        // The next prompt offers the same file.
        win.clickStream();
        QVERIFY(waitForFileDialog(&next));
        QVERIFY(dismissFileDialog());
    });
    if (reason.isEmpty()) {
        QCOMPARE(win.messages.count(), 0);
        QVERIFY(win.w.chkStream->isChecked());
        QCOMPARE(win.responses(), QStringList{"Data is going to be streamed to " + target});
        if (name == "existing.txt")
            QCOMPARE(readFile(target), QByteArray("old\r\n"));
        else if (name == "new.txt")
            QCOMPARE(readFile(target), QByteArray());
        else
            QVERIFY(isFifo(target));
        return;
    }
    // As when a line could not be streamed: the box, then streaming off with one notice.
    QCOMPARE(win.messages.count(), 1);
    QCOMPARE(win.messages.last().title, QStringLiteral("Error"));
    QCOMPARE(win.messages.last().icon, QMessageBox::Warning);
    QCOMPARE(win.messages.last().text,
             "Could not write to the stream file " + target + ": " + reason + ".");
    // The second notice: that prompt was dismissed.
    QCOMPARE(win.responses(), QStringList({"Data streaming canceled. ",
                                           "Data streaming canceled. "})); // 2nd: dismissed
    QVERIFY(!win.w.chkStream->isChecked());
    QVERIFY(win.w.state().VisualOutput);
    QCOMPARE(win.w.lstResponse->BackColor(), loggingBackground());
    // In its folder; in full where the folder is gone.
    if (QFileInfo(QFileInfo(target).absolutePath()).isDir()) {
        QCOMPARE(next.directory, QFileInfo(target).absolutePath());
        QCOMPARE(next.offeredName, QFileInfo(target).fileName());
    } else {
        QCOMPARE(next.offeredName, target);
    }
    QVERIFY(!QFile::exists(target) || isFifo(target));
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
    QCOMPARE(readFile(stream), QByteArray()); // made when chosen; nothing went into it
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
    // The folder, as the program's folder, and as the Windows folder that holds hh.exe.
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("windowsProgram");
    QTest::addColumn<QString>("desktopArgument");
    QTest::newRow("a folder") << "C:\\Tools"
                              << "HH.exe \"C:\\Tools\\BVTermHelp.chm\""
                              << "C:\\Tools\\hh.exe"
                              << "C:\\Tools/BVTermHelp.chm";
    QTest::newRow("root of a drive") << "C:\\"
                                     << "HH.exe \"C:\\\\BVTermHelp.chm\""
                                     << "C:\\hh.exe"
                                     << "C:\\/BVTermHelp.chm";
    QTest::newRow("blanks, quoted") << "C:\\Program Files\\BVTerm"
                                    << "HH.exe \"C:\\Program Files\\BVTerm\\BVTermHelp.chm\""
                                    << "C:\\Program Files\\BVTerm\\hh.exe"
                                    << "C:\\Program Files\\BVTerm/BVTermHelp.chm";
    QTest::newRow("unix folder with blanks") << "/opt/bv term"
                                             << "HH.exe \"/opt/bv term\\BVTermHelp.chm\""
                                             << "/opt/bv term\\hh.exe"
                                             << "/opt/bv term/BVTermHelp.chm";
    QTest::newRow("unix root") << "/"
                               << "HH.exe \"/\\BVTermHelp.chm\""
                               << "/\\hh.exe"
                               << "/BVTermHelp.chm";
}

void FilesTest::helpCommandLines()
{
    QFETCH(QString, folder);
    QFETCH(QString, windows);
    QFETCH(QString, windowsProgram);
    QFETCH(QString, desktopArgument);
    QCOMPARE(windowsHelpCommandLine(folder), windows);
    QCOMPARE(windowsHelpProgram(folder), windowsProgram);
    const HelpProcess process = desktopHelpProcess(folder);
    QCOMPARE(process.program, QStringLiteral("xdg-open"));
    QCOMPARE(process.arguments, QStringList{desktopArgument});
}

void FilesTest::helpViewerGetsOneArgument()
{
    // A stand-in viewer on the search path records each argument it gets on a line of its own,
    // a call at a time (the viewers run side by side, in no fixed order).
    QTemporaryDir bin;
    const QString record = bin.filePath("calls.txt");
    writeFile(bin.filePath("xdg-open"), "#!/bin/sh\nout=''\nfor a in \"$@\"; do out=\"$out$a\n\"; "
                                        "done\nprintf '%s--\\n' \"$out\" >> '" +
                                            QFile::encodeName(record) + "'\n");
    QFile::setPermissions(bin.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);

    const HelpFileBesideProgram helpFile;
    frmMain w;
    MessageLog messages(w);
    w.cmdCommandList->click();
    w.cmdCommandList->click(); // each click starts a viewer of its own
    const QString odd = bin.filePath("with blanks; $(touch injected) 'q'");
    startHelpViewer(odd);
    qputenv("PATH", path);

    const QByteArray expected =
        QFile::encodeName(QCoreApplication::applicationDirPath()) + "/BVTermHelp.chm\n--\n";
    QTRY_COMPARE(readFile(record).count("--\n"), 3);
    QStringList calls = QString::fromLocal8Bit(readFile(record)).split("--\n", Qt::SkipEmptyParts);
    calls.sort();
    QStringList wanted = {QString::fromLocal8Bit(expected.chopped(3)),
                          QString::fromLocal8Bit(expected.chopped(3)), odd + "/BVTermHelp.chm\n"};
    wanted.sort();
    QCOMPARE(calls, wanted);
    QVERIFY(!QFile::exists(bin.filePath("injected")) && !QFile::exists("injected"));
    QCOMPARE(messages.count(), 0);
}

void FilesTest::referenceWithoutHelpFile()
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString path = folder + "/BVTermHelp.chm";
    if (QFile::exists(path))
        QSKIP("a help file lies beside the test program");
    const FakeOpener opener("echo started >> \"$0.calls\"\n");
    frmMain w;
    MessageLog messages(w);
    w.cmdCommandList->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.last().title, QStringLiteral("Reference"));
    QCOMPARE(messages.last().icon, QMessageBox::Information);
    QCOMPARE(messages.last().text,
             "The command reference " + path +
                 " does not exist.\n\nBVTermHelp.chm comes with the instrument, not with this "
                 "program: copy it into " +
                 folder + ".");
    // No viewer was started: none has left its mark once every viewer started has ended.
    QTRY_VERIFY(std::all_of(w.children().begin(), w.children().end(), [](QObject* child) {
        auto* viewer = qobject_cast<QProcess*>(child);
        return !viewer || viewer->state() == QProcess::NotRunning;
    }));
    QVERIFY(!QFile::exists(opener.bin.filePath("xdg-open.calls")));
}

void FilesTest::referenceWithoutViewer_data()
{
    QTest::addColumn<QByteArray>("opener");
    QTest::addColumn<QString>("advice");
    QTest::newRow("xdg-open finds no application")
        << QByteArray("exit 3\n")
        << "Install one, for example the Debian package xchm or kchmviewer.";
    QTest::newRow("no xdg-open") << QByteArray()
                                 << "xdg-open, which starts the viewer, is missing too: install "
                                    "xdg-utils and a viewer, for example the Debian package "
                                    "xchm or kchmviewer.";
}

void FilesTest::referenceWithoutViewer()
{
    QFETCH(QByteArray, opener);
    QFETCH(QString, advice);
    const HelpFileBesideProgram helpFile;
    const FakeOpener fake(opener);
    frmMain w;
    MessageLog messages(w);
    w.cmdCommandList->click();
    if (!opener.isEmpty())
        QCOMPARE(messages.count(), 0); // known only when it exits: the window does not wait
    QTRY_COMPARE(messages.count(), 1);
    QCOMPARE(messages.last().title, QStringLiteral("Reference"));
    QCOMPARE(messages.last().icon, QMessageBox::Warning);
    QCOMPARE(messages.last().text, "No viewer for .chm files is installed, so the command "
                                   "reference " +
                                       helpFile.path + " cannot be shown. " + advice);
}

void FilesTest::helpViewerStartsWithDefaultSignals()
{
    // The program ignores SIGPIPE; the viewer it starts must not inherit that.
    const SigPipeDisposition asTheProgramDoes(SIG_IGN);
    const HelpFileBesideProgram helpFile;
    const FakeOpener opener(
        "/bin/sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > \"$0.sigign\"\n");
    const QString record = opener.bin.filePath("xdg-open.sigign");
    frmMain w;
    MessageLog messages(w);
    w.cmdCommandList->click();
    QTRY_VERIFY(readFile(record).endsWith('\n'));
    QVERIFY(!ignoresSigPipe(readFile(record)));
    QVERIFY(ignoresSigPipe(ignoredSignals(QCoreApplication::applicationPid()))); // as set here
    QCOMPARE(messages.count(), 0);
}

QTEST_MAIN(FilesTest)
#include "tst_files.moc"
