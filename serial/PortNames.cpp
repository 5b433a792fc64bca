#include "PortNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#ifdef Q_OS_WIN
#include <QSerialPortInfo>
#endif

#include <set>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace PortNames {

QString aliasFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/bvterm/ports");
}

QString aliasPath(int portNumber)
{
    return aliasFolder() + QStringLiteral("/com%1").arg(portNumber);
}

QString simulatorBaseFolder()
{
    // Read directly rather than through QStandardPaths, which would change the folder's
    // permissions or fall back to a folder of its own choosing.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        return QDir::cleanPath(runtime) + QStringLiteral("/bvterm");
#ifdef Q_OS_UNIX
    return QStringLiteral("/tmp/bvterm-%1").arg(::geteuid());
#else
    return QDir::tempPath() + QStringLiteral("/bvterm");
#endif
}

QString simulatorFolder()
{
    return simulatorBaseFolder() + QStringLiteral("/ports");
}

QString simulatorAliasPath(int portNumber)
{
    return simulatorFolder() + QStringLiteral("/com%1").arg(portNumber);
}

QString simulatorLockPath(int portNumber)
{
    return simulatorAliasPath(portNumber) + QStringLiteral(".lock");
}

bool isPrivateFolder(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

bool simulatorRuns(int portNumber)
{
#ifdef Q_OS_UNIX
    if (!isPrivateFolder(simulatorBaseFolder()) || !isPrivateFolder(simulatorFolder()))
        return false;
    const int descriptor = ::open(QFile::encodeName(simulatorLockPath(portNumber)).constData(),
                                  O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0)
        return false;
    // Only asks whether a lock is held; taking one here, however briefly, could make a
    // simulator that starts at that moment believe that another one runs.
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
#ifdef F_OFD_GETLK
    const int held = ::fcntl(descriptor, F_OFD_GETLK, &query);
#else
    const int held = ::fcntl(descriptor, F_GETLK, &query);
#endif
    ::close(descriptor);
    return held == 0 && query.l_type != F_UNLCK;
#else
    Q_UNUSED(portNumber);
    return false;
#endif
}

QString builtInDevice(int portNumber)
{
#ifdef Q_OS_WIN
    // The device name that reaches every port, COM10 and above too.
    return QStringLiteral("\\\\.\\COM%1").arg(portNumber);
#else
    if (portNumber < 1 || portNumber > PortCount)
        return QString();
    static const char* const families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const int family = (portNumber - 1) / 4;
    return QString::fromLatin1(families[family]) + QString::number((portNumber - 1) % 4);
#endif
}

Source sourceOf(int portNumber)
{
#ifndef Q_OS_WIN
    if (QFileInfo(simulatorAliasPath(portNumber)).isSymLink() && simulatorRuns(portNumber))
        return Source::Simulator;
    const QFileInfo alias(aliasPath(portNumber));
    if (alias.isSymLink() || alias.exists())
        return Source::UserAlias;
#else
    Q_UNUSED(portNumber);
#endif
    return Source::BuiltIn;
}

QString devicePath(int portNumber)
{
    switch (sourceOf(portNumber)) {
    case Source::Simulator:
        return simulatorAliasPath(portNumber);
    case Source::UserAlias:
        return aliasPath(portNumber);
    case Source::BuiltIn:
        break;
    }
    return builtInDevice(portNumber);
}

namespace {

QString finalTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString target = info.canonicalFilePath();
    // A dangling alias has no canonical path: name the target it points at.
    return target.isEmpty() ? info.symLinkTarget() : target;
}

} // namespace

QString describe(int portNumber)
{
    return finalTarget(devicePath(portNumber));
}

QString explain(int portNumber)
{
    const QString port = QStringLiteral("COM %1").arg(portNumber);
    switch (sourceOf(portNumber)) {
    case Source::Simulator: {
        const QString alias = simulatorAliasPath(portNumber);
        return QStringLiteral("%1 is %2 (the running simulator's alias %3)")
            .arg(port, finalTarget(alias), alias);
    }
    case Source::UserAlias: {
        const QString alias = aliasPath(portNumber);
        return QStringLiteral("%1 is %2 (your alias %3)").arg(port, finalTarget(alias), alias);
    }
    case Source::BuiltIn:
        break;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("%1 is the Windows port %2").arg(port, builtInDevice(portNumber));
#else
    return QStringLiteral("%1 is %2 (the built-in name; there is no alias)")
        .arg(port, builtInDevice(portNumber));
#endif
}

QStringList systemPorts()
{
    QStringList names;
#ifdef Q_OS_WIN
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        names << port.portName();
#endif
    return names;
}

QList<int> listedPorts(const QStringList& systemPorts, int selected)
{
    std::set<int> above;
    static const QRegularExpression windowsPort(QStringLiteral("^COM([1-9][0-9]*)$"),
                                                QRegularExpression::CaseInsensitiveOption);
    for (const QString& name : systemPorts) {
        const QRegularExpressionMatch match = windowsPort.match(name);
        const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (number > PortCount && number <= HighestWindowsPort)
            above.insert(number);
    }
    if (selected > PortCount && selected <= HighestWindowsPort)
        above.insert(selected);
    QList<int> ports;
    for (int number = 1; number <= PortCount; ++number)
        ports << number;
    for (const int number : above)
        ports << number;
    return ports;
}

int portNumberOf(const QString& entry)
{
    if (!entry.startsWith(QLatin1String("COM ")))
        return 0;
    bool ok = false;
    const int number = entry.mid(4).toInt(&ok);
    return ok ? number : 0;
}

} // namespace PortNames
