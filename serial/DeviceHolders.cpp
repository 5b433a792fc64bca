#include "DeviceHolders.h"

#ifdef Q_OS_LINUX

#include <QFile>

#include <cstdlib>
#include <dirent.h>
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

// Whether the process has a descriptor open on the device.
bool holdsOpen(long pid, dev_t device)
{
    const QByteArray folder = "/proc/" + QByteArray::number(qlonglong(pid)) + "/fd/";
    DIR* descriptors = ::opendir(folder.constData());
    if (!descriptors)
        return false; // another user's process, or one that ended meanwhile
    bool holds = false;
    while (const dirent* entry = ::readdir(descriptors)) {
        struct stat file {};
        if (entry->d_name[0] != '.' && ::stat((folder + entry->d_name).constData(), &file) == 0 &&
            S_ISCHR(file.st_mode) && file.st_rdev == device) {
            holds = true;
            break;
        }
    }
    ::closedir(descriptors);
    return holds;
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

QString processWithDeviceOpen(const QString& devicePath)
{
    struct stat device {};
    if (!characterDevice(devicePath, &device))
        return QString();
    QString holder;
    forEachProcess([&](long pid) {
        if (pid == ::getpid() || !holdsOpen(pid, device.st_rdev))
            return false;
        QFile name(QStringLiteral("/proc/%1/comm").arg(pid));
        holder = described(name.open(QIODevice::ReadOnly) ? name.readAll().trimmed() : "?", pid);
        return true;
    });
    return holder;
}

#else

QString controllingProcessOf(const QString&)
{
    return QString();
}

QString processWithDeviceOpen(const QString&)
{
    return QString();
}

#endif
