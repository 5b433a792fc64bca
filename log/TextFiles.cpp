#include "TextFiles.h"

#include "ResponseLogModel.h"
#include "app/Failure.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString kLogHeader = QStringLiteral("Baroventis\u00ae Terminal Data Output");

void appendLine(QByteArray& bytes, const QString& text)
{
    bytes += text.toLatin1();
    bytes += "\r\n";
}

// A date or time format without its time-zone part.
QString withoutTimeZone(const QString& format)
{
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.simplified();
}

QString failureText(const QFileDevice& file)
{
    const QString reason = systemReason(file.errorString());
    return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
}

#ifdef Q_OS_UNIX

// Keeps SIGPIPE from ending the program while this thread writes to a pipe: the signal is
// blocked for the write, and one that the write raised is taken back before it is unblocked,
// so a reader that went away shows up as the write error EPIPE only. This holds whatever the
// process's disposition for SIGPIPE is.
class BrokenPipeGuard {
public:
    BrokenPipeGuard()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~BrokenPipeGuard()
    {
        // A signal that was pending before belongs to someone else and is left alone.
        if (!m_wasPending) {
            const timespec now{};
            while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    BrokenPipeGuard(const BrokenPipeGuard&) = delete;
    BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_previous{};
    bool m_wasPending = false;
};

// A pipe or a device as a write target that never holds the caller for long: it is opened
// without waiting for a reader, and a write waits for room only as long as the reader keeps
// taking data. Meanwhile nothing else of the window runs (see waitForRoom).
class PipeOrDevice : public QIODevice {
public:
    ~PipeOrDevice() override { close(); }

    bool open(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        m_fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0) {
            const int error = errno;
            struct stat info {};
            const bool fifo = ::stat(name.constData(), &info) == 0 && S_ISFIFO(info.st_mode);
            // Without O_NONBLOCK this open would wait until a reader comes.
            setErrorString(error == ENXIO && fifo ? QStringLiteral("nothing is reading from it")
                                                  : qt_error_string(error));
            return false;
        }
        return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    void close() override
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        QIODevice::close();
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 size) override
    {
        const BrokenPipeGuard guard;
        QDeadlineTimer stall(WriteStallLimitMs);
        qint64 written = 0;
        while (written < size) {
            const ssize_t count = ::write(m_fd, data + written, size_t(size - written));
            if (count > 0) {
                written += count;
                stall.setRemainingTime(WriteStallLimitMs); // the reader is taking data
                continue;
            }
            const int error = count < 0 ? errno : EAGAIN;
            if (error == EINTR)
                continue;
            if (error != EAGAIN && error != EWOULDBLOCK) {
                setErrorString(error == EPIPE
                                   ? QStringLiteral("nothing is reading from it any more")
                                   : qt_error_string(error));
                return -1;
            }
            if (stall.hasExpired()) {
                setErrorString(QStringLiteral("nothing was taken from it for %1 seconds")
                                   .arg(WriteStallLimitMs / 1000));
                return -1;
            }
            waitForRoom(stall);
        }
        return written;
    }

private:
    // Waits until the target can take more or the deadline has passed. No event is handled
    // meanwhile: a timer, a queued call or a request over the accessibility bus would run a
    // handler of the window in the middle of this write (Connect during a Save would start a
    // polling loop inside it). The window does not repaint either, for at most the stall limit.
    void waitForRoom(const QDeadlineTimer& stall)
    {
        pollfd target{m_fd, POLLOUT, 0};
        ::poll(&target, 1, int(std::max<qint64>(0, stall.remainingTime())));
    }

    int m_fd = -1;
};

#endif

// A pipe or a device: written directly, never appended to or replaced.
bool isPipeOrDevice(const QFileInfo& info)
{
    return info.exists() && !info.isFile();
}

// Writes to a pipe or a device with `write`. Returns "" or the reason it failed.
QString writeToPipeOrDevice(const QString& path, const std::function<bool(QIODevice&)>& write)
{
#ifdef Q_OS_UNIX
    PipeOrDevice target;
    if (!target.open(path))
        return systemReason(target.errorString());
#else
    QFile target(path);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failureText(target);
#endif
    if (!write(target)) {
        const QString reason = systemReason(target.errorString());
        return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    }
    target.close();
    return QString();
}

} // namespace

QString promptFolder(const QString& programFolder)
{
#ifdef Q_OS_WIN
    // Windows' file attributes do not say who may make files in a folder: only trying does.
    // The trial file is gone again at once.
    QTemporaryFile trial(programFolder + QStringLiteral("/bvterm-XXXXXX.tmp"));
    const bool writable = trial.open();
#else
    const QFileInfo folder(programFolder);
    const bool writable = folder.isDir() && folder.isWritable();
#endif
    if (writable)
        return programFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QByteArray fileLine(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() + 2);
    appendLine(bytes, text);
    return bytes;
}

QString streamLine(const QString& timeStamp, bool withTimeStamp, const QString& reply)
{
    return withTimeStamp ? timeStamp + QLatin1Char(',') + reply : reply;
}

QString appendLineToFile(const QString& path, const QString& text)
{
    const QByteArray bytes = fileLine(text);
    // Appending makes sense for a file; a device or a pipe is simply written to.
    if (isPipeOrDevice(QFileInfo(path)))
        return writeToPipeOrDevice(
            path, [&bytes](QIODevice& out) { return out.write(bytes) == bytes.size(); });
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | QIODevice::Append))
        return failureText(file);
    const qint64 before = file.size();
    // A short write is retried for the rest, which then tells why it failed.
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            break;
        written += count;
    }
    if (written != bytes.size()) {
        const QString reason = failureText(file);
        // A line cut short by a full disk is taken out again: the file holds whole lines only.
        file.resize(before);
        return reason;
    }
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : failureText(file);
}

QString checkAppendable(const QString& path)
{
    if (isPipeOrDevice(QFileInfo(path)))
        return writeToPipeOrDevice(path, [](QIODevice&) { return true; });
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return failureText(file);
    file.close();
    return QString();
}

QString streamFailureText(const QString& path, const QString& reason)
{
    return QStringLiteral("Could not write to the stream file %1: %2.").arg(path, reason);
}

QString savedLogDate(const QDateTime& localTime)
{
    const QLocale locale = QLocale::system();
    const QString format = locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') +
                           withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(localTime, format);
}

bool writeSavedLog(QIODevice& out, const QString& dateText, int rowCount,
                   const std::function<LogRow(int row)>& rowAt)
{
    constexpr qsizetype ChunkBytes = 64 * 1024;
    QByteArray chunk;
    chunk.reserve(ChunkBytes + 1024);
    appendLine(chunk, kLogHeader);
    appendLine(chunk, QString());
    appendLine(chunk, QStringLiteral("Date:") + dateText);
    appendLine(chunk, QString());
    for (int i = 1; i <= rowCount; ++i) {
        const LogRow row = rowAt(i);
        chunk += row.Command.toLatin1();
        chunk += ',';
        chunk += row.Response.toLatin1();
        chunk += "\r\n";
        if (chunk.size() >= ChunkBytes) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size();
}

QString writeWholeFile(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    const QFileInfo info(path);
    // A device or a pipe is not a file that can be replaced: write to it directly.
    if (isPipeOrDevice(info))
        return writeToPipeOrDevice(path, write);
    if (info.exists() && (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner)))
        return QStringLiteral("the file is read-only");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failureText(file);
    if (!write(file)) {
        const QString reason = failureText(file);
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return failureText(file);
    return QString();
}
