#include "DeviceHolders.h"

#ifdef Q_OS_LINUX

#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The character device at the path, or false when it is none.
bool characterDevice(const QString& path, struct stat* device)
{
    return ::stat(QFile::encodeName(path).constData(), device) == 0 && S_ISCHR(device->st_mode);
}

// Calls `visit` with the number of each running process until it returns true.
template <typename Visit> void forEachProcess(Visit visit)
{
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return;
    while (const dirent* entry = ::readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0' && visit(pid))
            break;
    }
    ::closedir(processes);
}

QString described(const QByteArray& name, long pid)
{
    return QStringLiteral("%1 (process %2)").arg(QString::fromLocal8Bit(name)).arg(pid);
}

// Pseudo-terminals: the kernel numbers their terminal ends (/dev/pts/N) with these majors.
constexpr unsigned int FirstPtyMajor = 136;
constexpr unsigned int LastPtyMajor = 143;

// The number N of a pseudo-terminal /dev/pts/N, or -1 for any other device.
long ptyNumber(dev_t device)
{
    const unsigned int deviceMajor = major(device);
    if (deviceMajor < FirstPtyMajor || deviceMajor > LastPtyMajor)
        return -1;
    return long(deviceMajor - FirstPtyMajor) * 256 + long(minor(device));
}

// Where a descriptor leads, as the kernel names it ("/dev/pts/4", "socket:[123]"). Reading the
// link touches nothing but /proc.
QByteArray linkTarget(const QByteArray& link)
{
    char target[4096];
    const ssize_t size = ::readlink(link.constData(), target, sizeof target);
    return size > 0 ? QByteArray(target, size) : QByteArray();
}

// The pseudo-terminal whose master the descriptor is: "tty-index" in its fdinfo.
long masterTtyIndex(long pid, const char* descriptor)
{
    QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(QLatin1String(descriptor)));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : info.read(4096).split('\n')) {
        if (line.startsWith("tty-index:")) {
            bool ok = false;
            const long index = line.mid(10).trimmed().toLong(&ok);
            return ok ? index : -1;
        }
    }
    return -1;
}

// How a process holds the device.
struct Hold {
    bool open = false;   // it has the device open
    bool master = false; // it holds the pseudo-terminal's master: it is the device's other end
};

// Each descriptor's link is read first, and only a target under /dev is looked at (stat): a
// stat through a descriptor of a file on a hung network or FUSE mount would wait for ever.
Hold holdOf(long pid, dev_t device, long pty)
{
    Hold hold;
    const QByteArray folder = "/proc/" + QByteArray::number(qlonglong(pid)) + "/fd/";
    DIR* descriptors = ::opendir(folder.constData());
    if (!descriptors)
        return hold; // another user's process, or one that ended meanwhile
    while (const dirent* entry = ::readdir(descriptors)) {
        if (entry->d_name[0] == '.')
            continue;
        const QByteArray link = folder + entry->d_name;
        const QByteArray target = linkTarget(link);
        if (!target.startsWith("/dev/"))
            continue;
        if (target == "/dev/ptmx" || target == "/dev/pts/ptmx") {
            if (pty >= 0 && masterTtyIndex(pid, entry->d_name) == pty)
                hold.master = true;
            continue;
        }
        struct stat file {};
        if (::stat(link.constData(), &file) == 0 && S_ISCHR(file.st_mode) && file.st_rdev == device)
            hold.open = true;
    }
    ::closedir(descriptors);
    return hold;
}

// The names a UUCP lock file of the device may have: LCK.. followed by the path below /dev with
// "/" as "_" ("LCK..ttyUSB0", "LCK..pts_4"), or by the device's own name ("LCK..4").
QStringList lockFileNames(const QString& devicePath)
{
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    QStringList names;
    if (device.startsWith(QLatin1String("/dev/")))
        names << QStringLiteral("LCK..") +
                     device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString own = QStringLiteral("LCK..") + QFileInfo(device).fileName();
    if (!names.contains(own))
        names << own;
    return names;
}

// The process number that a lock file holds, written as text ("      812\n"), or 0.
long lockingProcess(const QString& lockFile)
{
    QFile file(lockFile);
    if (!QFileInfo(lockFile).isFile() || !file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.read(64);
    qsizetype start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    qsizetype end = start;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    bool ok = false;
    const long pid = text.mid(start, end - start).toLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

QString commandName(long pid)
{
    QFile name(QStringLiteral("/proc/%1/comm").arg(pid));
    return described(name.open(QIODevice::ReadOnly) ? name.readAll().trimmed() : "?", pid);
}

} // namespace

// The kernel gives a pseudo-terminal number to the next one who asks, so an alias left behind
// can come to name somebody's shell; opening that would take over what they type.
QString controllingProcessOf(const QString& devicePath)
{
    struct stat device {};
    if (!characterDevice(devicePath, &device))
        return QString();
    QString holder;
    forEachProcess([&](long pid) {
        QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!statFile.open(QIODevice::ReadOnly))
            return false; // ended meanwhile
        const QByteArray stat = statFile.read(1024);
        // "pid (name) state ppid pgrp session tty_nr ...": the name may hold blanks and ")".
        const qsizetype nameEnd = stat.lastIndexOf(')');
        const qsizetype nameStart = stat.indexOf('(');
        if (nameEnd < 0 || nameStart < 0)
            return false;
        const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
        if (fields.size() < 5)
            return false;
        const unsigned long tty = fields[4].toULong();
        const unsigned int ttyMajor = (tty >> 8) & 0xfff;
        const unsigned int ttyMinor = (tty & 0xff) | ((tty >> 12) & 0xfff00);
        if (tty == 0 || ttyMajor != major(device.st_rdev) || ttyMinor != minor(device.st_rdev))
            return false;
        const bool leader = fields[3].toLong() == pid; // the session's own program, e.g. a shell
        if (holder.isEmpty() || leader)
            holder = described(stat.mid(nameStart + 1, nameEnd - nameStart - 1), pid);
        return leader;
    });
    return holder;
}

QStringList processesHoldingDevice(const QString& devicePath, const QStringList& lockFolders)
{
    struct stat device {};
    if (!characterDevice(devicePath, &device))
        return {};
    const long pty = ptyNumber(device.st_rdev);
    std::set<long> holders;
    std::set<long> otherEnds;
    forEachProcess([&](long pid) {
        if (pid == ::getpid())
            return false;
        const Hold hold = holdOf(pid, device.st_rdev, pty);
        if (hold.master)
            otherEnds.insert(pid);
        else if (hold.open)
            holders.insert(pid);
        return false;
    });
    // A lock file's process is named when it runs and is the user's own (its open files can be
    // seen), whether or not it has the device open.
    for (const QString& folder : lockFolders) {
        for (const QString& name : lockFileNames(devicePath)) {
            const long pid = lockingProcess(folder + QLatin1Char('/') + name);
            const QByteArray files = "/proc/" + QByteArray::number(qlonglong(pid)) + "/fd";
            if (pid > 0 && pid != ::getpid() && otherEnds.count(pid) == 0 &&
                ::access(files.constData(), R_OK) == 0)
                holders.insert(pid);
        }
    }
    QStringList named;
    for (const long pid : holders)
        named << commandName(pid);
    return named;
}

#else

QString controllingProcessOf(const QString&)
{
    return QString();
}

QStringList processesHoldingDevice(const QString&, const QStringList&)
{
    return {};
}

#endif
