// What the user is told when a port cannot be opened: the device's name, and what to do, in
// the terminal's own words.

#include "SerialPortControl.h"

#include "DeviceHolders.h"
#include "PortNames.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The mode of a file as "ls -l" writes it, such as "crw-rw----".
QString modeText(mode_t mode)
{
    QString text;
    text += S_ISCHR(mode)    ? QLatin1Char('c')
            : S_ISBLK(mode)  ? QLatin1Char('b')
            : S_ISDIR(mode)  ? QLatin1Char('d')
            : S_ISFIFO(mode) ? QLatin1Char('p')
            : S_ISSOCK(mode) ? QLatin1Char('s')
            : S_ISLNK(mode)  ? QLatin1Char('l')
                             : QLatin1Char('-');
    const char* const letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text;
}

QString userName(uid_t uid)
{
    const struct passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const struct group* entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}
#endif

// The device is taken; the programs that hold it are named when they are the user's own.
QString inUseText(const QString& portLabel, const QString& device)
{
    const QStringList holders = processesHoldingDevice(device);
    if (holders.isEmpty())
        return QStringLiteral("%1 is in use by another program.").arg(portLabel);
    if (holders.size() == 1)
        return QStringLiteral("%1 is in use by another program: %2 has it open.")
            .arg(portLabel, holders.first());
    return QStringLiteral("%1 is in use by other programs: %2.")
        .arg(portLabel, holders.join(QStringLiteral(", ")));
}

// Whether the path is a terminal device at all (a serial port, an adapter, a pseudo-terminal).
bool isTerminalDevice(const QString& path)
{
#ifdef Q_OS_UNIX
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0)
        return true; // cannot tell; let the setting be the suspect
    const bool terminal = ::isatty(descriptor) == 1;
    ::close(descriptor);
    return terminal;
#else
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace

QString permissionDeniedText(const QString& portLabel, const QString& owner, const QString& group,
                             uint mode)
{
    // Joining the group helps only where the group may read and write the device.
    if ((mode & 0060) == 0060)
        return QStringLiteral("Permission denied for %1. Join the group that owns the device "
                              "(%2), for example with \"sudo usermod -aG %2 $USER\", then log "
                              "out and in again.")
            .arg(portLabel, group);
#ifdef Q_OS_UNIX
    const QString modeString = modeText(mode_t(mode));
#else
    const QString modeString = QString::number(mode, 8);
#endif
    return QStringLiteral("Permission denied for %1. The device belongs to the user %2 and the "
                          "group %3 with the mode %4, which lets no group read and write it: ask "
                          "the administrator of this computer for access to it.")
        .arg(portLabel, owner, group, modeString);
}
QString SerialPortControl::openFailure(QSerialPort::SerialPortError error) const
{
    const QString label = portLabel();
    const QString path = m_device;
    // A user's own alias is what needs mending, so it is named.
    if (error == QSerialPort::DeviceNotFoundError &&
        PortNames::sourceOf(m_commPort) == PortNames::Source::UserAlias)
        return QStringLiteral("COM %1 is your alias %2 for %3, which does not exist. Plug the "
                              "device in, or correct or remove the alias.")
            .arg(QString::number(m_commPort), PortNames::aliasPath(m_commPort), path);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("%1 does not exist. Check that the device is plugged in and "
                              "switched on, or choose another port.")
            .arg(label);
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        struct stat info {};
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 &&
            ::stat(QFile::encodeName(path).constData(), &info) == 0)
            return permissionDeniedText(label, userName(info.st_uid), groupName(info.st_gid),
                                        info.st_mode);
#endif
        return inUseText(label, path);
    }
    case QSerialPort::OpenError:
        return inUseText(label, path);
    case QSerialPort::UnsupportedOperationError:
        if (!isTerminalDevice(path))
            return QStringLiteral("%1 is not a serial device.").arg(label);
        return QStringLiteral("%1 does not support the setting %2.").arg(label, m_settings);
    default:
        return QStringLiteral("%1 could not be opened: %2.")
            .arg(label, systemReason(m_port.errorString()));
    }
}
