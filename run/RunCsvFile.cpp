#include "RunCsvFile.h"

#include "app/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

RunCsvFile::~RunCsvFile()
{
    close();
}

bool RunCsvFile::isOpen() const
{
#ifdef Q_OS_WIN
    return m_handle != nullptr;
#else
    return m_fd >= 0;
#endif
}

QString RunCsvFile::lastError() const
{
#ifdef Q_OS_WIN
    return systemReason(qt_error_string(int(GetLastError())));
#else
    return systemReason(qt_error_string(errno));
#endif
}

QString RunCsvFile::open(const QString& path)
{
    close();
    m_path = path;
    m_created = m_written = false;
    const QString shown = QDir::toNativeSeparators(path);
    const auto notRegular = [&shown] {
        return QStringLiteral("%1 is not a regular file: a measurement run writes its rows only "
                              "into a regular file.")
            .arg(shown);
    };
    // A folder, a pipe or a device is refused before it is opened.
    const QFileInfo named(path);
    if (named.exists() && !named.isFile())
        return notRegular();
    const auto cannotOpen = [&shown](const QString& reason) {
        return QStringLiteral("The CSV file %1 cannot be opened for appending: %2.")
            .arg(shown, reason);
    };
#ifdef Q_OS_WIN
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // Others may read the file while the run holds it, but not write it.
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return cannotOpen(QStringLiteral("another program has it open (a spreadsheet may "
                                             "hold it locked)"));
        return cannotOpen(systemReason(qt_error_string(int(error))));
    }
    m_created = GetLastError() != ERROR_ALREADY_EXISTS;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return notRegular();
    }
    LARGE_INTEGER size;
    GetFileSizeEx(handle, &size);
    m_size = size.QuadPart;
    m_handle = handle;
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    const bool existed = ::stat(name.constData(), &info) == 0;
    if (existed && !S_ISREG(info.st_mode))
        return notRegular();
    int fd = ::open(name.constData(),
                    O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0 && errno == EACCES) // a file one may write but not read
        fd = ::open(name.constData(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0)
        return cannotOpen(lastError());
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return notRegular();
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return cannotOpen(QStringLiteral("another program is writing to it"));
    }
    m_created = !existed;
    m_size = info.st_size;
    m_fd = fd;
#endif
    return QString();
}

QString RunCsvFile::begin(const QByteArray& header)
{
    if (m_size == 0)
        return append(QByteArrayLiteral("\xEF\xBB\xBF") + header);
    // A last line without its line end (a crash, another program) is ended first, so that the
    // run's rows start on a line of their own.
    char last[1] = {0};
#ifdef Q_OS_WIN
    LARGE_INTEGER at;
    at.QuadPart = m_size - 1;
    DWORD got = 0;
    const bool read = SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN) &&
                      ReadFile(m_handle, last, 1, &got, nullptr) && got == 1;
#else
    const bool read = ::pread(m_fd, last, 1, m_size - 1) == 1;
#endif
    if (!read || last[0] == '\n')
        return QString();
    return append(last[0] == '\r' ? QByteArrayLiteral("\n") : QByteArrayLiteral("\r\n"));
}

QString RunCsvFile::writeAll(const QByteArray& bytes)
{
    const char* next = bytes.constData();
    qint64 left = bytes.size();
#ifdef Q_OS_WIN
    LARGE_INTEGER at;
    at.QuadPart = m_size;
    if (!SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN))
        return lastError();
    while (left > 0) {
        DWORD wrote = 0;
        if (!WriteFile(m_handle, next, DWORD(std::min<qint64>(left, 1 << 30)), &wrote, nullptr))
            return lastError();
        next += wrote;
        left -= wrote;
    }
#else
    while (left > 0) {
        const ssize_t wrote = ::write(m_fd, next, size_t(left));
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (wrote == 0)
            return qt_error_string(ENOSPC);
        next += wrote;
        left -= wrote;
    }
#endif
    return QString();
}

QString RunCsvFile::append(const QByteArray& bytes)
{
    if (!isOpen())
        return QStringLiteral("the file is not open");
    const QString failure = writeAll(bytes);
    if (failure.isEmpty()) {
        m_size += bytes.size();
        m_written = true;
        return QString();
    }
    // No half row stays behind.
#ifdef Q_OS_WIN
    LARGE_INTEGER at;
    at.QuadPart = m_size;
    if (SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN))
        SetEndOfFile(m_handle);
#else
    while (::ftruncate(m_fd, m_size) != 0 && errno == EINTR) {
    }
#endif
    return failure;
}

QString RunCsvFile::sync()
{
    if (!isOpen())
        return QStringLiteral("the file is not open");
#ifdef Q_OS_WIN
    if (!FlushFileBuffers(m_handle))
        return lastError();
#else
    if (::fdatasync(m_fd) != 0)
        return lastError();
#endif
    return QString();
}

bool RunCsvFile::stillAtPath() const
{
#ifdef Q_OS_WIN
    return isOpen();
#else
    if (!isOpen())
        return false;
    struct stat held {};
    struct stat named {};
    if (::fstat(m_fd, &held) != 0 || held.st_nlink == 0)
        return false;
    return ::stat(QFile::encodeName(m_path).constData(), &named) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
#endif
}

void RunCsvFile::close()
{
#ifdef Q_OS_WIN
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
#else
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
#endif
}

void RunCsvFile::discardIfUnused()
{
    const bool remove = isOpen() && m_created && !m_written;
    close();
    if (remove)
        QFile::remove(m_path);
}
