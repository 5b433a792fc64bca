#include "SerialPortControl.h"

#include "DeviceHolders.h"
#include "PortNames.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
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

// The device is taken; the program that holds it is named when it is one of the user's own.
QString inUseText(const QString& portLabel, const QString& device)
{
    const QString holder = processWithDeviceOpen(device);
    if (holder.isEmpty())
        return QStringLiteral("%1 is in use by another program.").arg(portLabel);
    return QStringLiteral("%1 is in use by another program: %2 has it open.")
        .arg(portLabel, holder);
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

SerialPortControl::SerialPortControl(QObject* parent) : QObject(parent)
{
    m_port.setObjectName(QStringLiteral("port"));
    setInBufferSize(DefaultInBufferSize);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortControl::portErrorOccurred);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortControl::portReceived);
}

SerialPortControl::~SerialPortControl() = default;

QString SerialPortControl::portLabel() const
{
    const QString device = m_device.isEmpty() ? PortNames::describe(m_commPort) : m_device;
    return QStringLiteral("COM %1 (%2)").arg(m_commPort).arg(device);
}

void SerialPortControl::setCommPort(int number)
{
    if (m_port.isOpen())
        throw PortError(
            QStringLiteral("The port number cannot change while %1 is open.").arg(portLabel()));
    if (number < 1 || number > PortNames::PortCount)
        throw PortError(QStringLiteral("There is no port COM %1: choose COM 1 to COM %2.")
                            .arg(number)
                            .arg(PortNames::PortCount));
    m_commPort = number;
    m_device.clear();
}

bool SerialPortControl::parseSettings(const QString& text, LineSettings* settings)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    settings->rate = parts[0].trimmed().toInt(&ok);
    if (!ok || settings->rate <= 0)
        return false;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        settings->parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        settings->parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        settings->parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        settings->parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        settings->parity = QSerialPort::SpaceParity;
    else
        return false;
    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return false;
    settings->dataBits = static_cast<QSerialPort::DataBits>(dataBits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        settings->stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        settings->stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        settings->stopBits = QSerialPort::TwoStop;
    else
        return false;
    return true;
}

void SerialPortControl::setSettings(const QString& settings)
{
    LineSettings parsed;
    if (!parseSettings(settings, &parsed))
        throw PortError(QStringLiteral("\"%1\" is not a valid line setting.").arg(settings));
    m_settings = settings;
    m_line = parsed;
    if (m_port.isOpen())
        applySettings();
}

void SerialPortControl::applySettings()
{
    const bool ok = m_port.setBaudRate(m_line.rate) && m_port.setDataBits(m_line.dataBits) &&
                    m_port.setParity(m_line.parity) && m_port.setStopBits(m_line.stopBits) &&
                    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        const QString reason = m_port.errorString();
        closePort();
        throw PortError(QStringLiteral("%1 does not support the setting %2 (%3).")
                            .arg(portLabel(), m_settings, reason));
    }
}

void SerialPortControl::setPortOpen(bool open)
{
    const bool lost = !m_lost.isEmpty();
    m_lost.clear();
    forgetReceived();
    if (!open) {
        if (m_port.isOpen())
            closePort();
        return;
    }
    if (m_port.isOpen()) {
        // A device that went away may still be waiting for its queued close.
        if (!lost)
            throw PortError(QStringLiteral("%1 is already open.").arg(portLabel()));
        closePort();
    }

    // Open the device itself, not an alias of it, so that locks and exclusive access apply to
    // the device whatever name it is reached by.
    m_device = PortNames::describe(m_commPort);
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(m_device))
        throw PortError(openFailure(QSerialPort::DeviceNotFoundError));
#endif
#ifdef Q_OS_LINUX
    const QString holder = controllingProcessOf(m_device);
    if (!holder.isEmpty())
        throw PortError(QStringLiteral("%1 is in use: it is the terminal of the running program "
                                       "%2. BVTerm does not open a terminal that belongs to "
                                       "another program; choose another port.")
                            .arg(portLabel(), holder));
#endif
    m_port.setPortName(m_device);
    if (!m_port.open(QIODevice::ReadWrite))
        throw PortError(openFailure(m_port.error()));
    applySettings();
    // Devices without modem lines (a pseudo-terminal, some adapters) refuse these; that is no
    // reason not to talk to them.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(false);
    // What the system held for the device before this connection (an instrument that went on
    // talking while nobody listened) is not this connection's reply.
    m_port.clear(QSerialPort::Input);
    // Setting the buffer's size on the open port starts a read on Windows, where the port
    // then reads again whenever a read here empties its buffer. Its wait for "characters
    // arrived" alone is not enough everywhere: under Wine a pseudo-terminal never reports it.
    setInBufferSize(InBufferSize());
    noteWaitingInPort();
    m_port.clearError();
    ++m_openCount;
}

bool SerialPortControl::PortOpen() const
{
    return m_port.isOpen() && m_lost.isEmpty();
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
#ifdef Q_OS_WIN
        // USB adapters are often given COM 13 or higher, which the list does not reach.
        return QStringLiteral("%1 does not exist. Check that the device is plugged in and "
                              "switched on, or choose another port. An adapter that Windows "
                              "gave a number above 12 can be given one from 1 to 12 in the "
                              "Device Manager (the port's Properties, Port Settings, "
                              "Advanced).")
            .arg(label);
#else
        return QStringLiteral("%1 does not exist. Check that the device is plugged in and "
                              "switched on, or choose another port.")
            .arg(label);
#endif
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
        return QStringLiteral("%1 could not be opened: %2.").arg(label, m_port.errorString());
    }
}

void SerialPortControl::setInBufferSize(int bytes)
{
    m_port.setReadBufferSize(std::max(0, bytes));
}

int SerialPortControl::InBufferSize() const
{
    return static_cast<int>(m_port.readBufferSize());
}

void SerialPortControl::portReceived()
{
    noteWaitingInPort();
    // A device that went away keeps nothing in the port, which is about to close.
    if (!m_lost.isEmpty())
        takeFromPort(AllWaiting);
}

void SerialPortControl::noteWaitingInPort()
{
    const qint64 waiting = m_port.isOpen() ? m_port.bytesAvailable() : 0;
    m_portWaiting = static_cast<int>(std::min<qint64>(waiting, 1'000'000'000));
}

void SerialPortControl::takeFromPort(qint64 limit)
{
    // What has been handed out goes; the storage stays for the next batch.
    const qsizetype kept = m_end - m_next;
    if (kept > 0 && m_next != m_received.constData())
        std::memmove(m_received.data(), m_next, size_t(kept));
    const qint64 available = m_port.isOpen() ? std::min(m_port.bytesAvailable(), limit) : 0;
    m_received.resize(kept + available);
    qint64 got = 0;
    if (available > 0)
        got = std::max<qint64>(m_port.read(m_received.data() + kept, available), 0);
    m_received.resize(kept + got);
    m_next = m_received.constData();
    m_end = m_next + m_received.size();
    noteWaitingInPort();
}

int SerialPortControl::inputCharFromPort()
{
    if (m_lost.isEmpty() && !m_port.isOpen())
        throw PortError(QStringLiteral("%1 is not open.").arg(portLabel()));
    if (m_portWaiting == 0)
        return -1;
    takeFromPort(BatchLimit);
    return m_next != m_end ? static_cast<unsigned char>(*m_next++) : -1;
}

QString SerialPortControl::Input()
{
    if (m_lost.isEmpty() && !m_port.isOpen())
        throw PortError(QStringLiteral("%1 is not open.").arg(portLabel()));
    if (m_inputLen == 0)
        takeFromPort(AllWaiting);
    else if (m_end - m_next < m_inputLen)
        takeFromPort(std::max<qint64>(BatchLimit, m_inputLen));
    const qsizetype left = m_end - m_next;
    const qsizetype count = m_inputLen == 0 ? left : std::min<qsizetype>(left, m_inputLen);
    const QString text = QString::fromLatin1(m_next, count);
    m_next += count;
    return text;
}

void SerialPortControl::closePort()
{
    m_port.close();
    m_portWaiting = 0;
}

void SerialPortControl::forgetReceived()
{
    m_received = QByteArray();
    m_next = m_end = nullptr;
}

void SerialPortControl::setOutput(const QString& text)
{
    if (!m_lost.isEmpty())
        throw PortError(m_lost);
    if (!m_port.isOpen())
        throw PortError(QStringLiteral("%1 is not open.").arg(portLabel()));
    const QByteArray bytes = text.toLatin1();
    m_port.clearError();
    if (m_port.write(bytes) != bytes.size())
        throw PortError(
            QStringLiteral("Could not send to %1: %2.").arg(portLabel(), m_port.errorString()));
    // Hand the bytes to the device now rather than at the next turn of the event loop.
    m_port.flush();
    if (!m_lost.isEmpty())
        throw PortError(m_lost);
    if (m_port.error() == QSerialPort::WriteError || m_port.error() == QSerialPort::ResourceError) {
        const QString reason = m_port.errorString();
        m_port.clearError();
        throw PortError(QStringLiteral("Could not send to %1: %2.").arg(portLabel(), reason));
    }
}

bool SerialPortControl::deviceHungUp() const
{
#ifdef Q_OS_UNIX
    pollfd descriptor{static_cast<int>(m_port.handle()), POLLIN, 0};
    if (descriptor.fd < 0 || ::poll(&descriptor, 1, 0) < 0)
        return true;
    return (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

void SerialPortControl::portErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_lost.isEmpty() || !m_port.isOpen())
        return;
    // A resource error stops the port from reading any further; a read error is retried on
    // every turn of the event loop, and is final when the device hung up. Either way the port
    // is closed right away, and what it received before stays readable.
    const bool hungUp = deviceHungUp();
    if (error == QSerialPort::ReadError && !hungUp)
        return;
    const QString reason = m_port.errorString();
    takeFromPort(AllWaiting);
    m_lost = hungUp ? QStringLiteral("%1 was disconnected: the device went away or the other end "
                                     "hung up.")
                          .arg(portLabel())
                    : QStringLiteral("%1 stopped delivering data (%2), so it was closed.")
                          .arg(portLabel(), reason);
    const quint64 session = m_openCount;
    QMetaObject::invokeMethod(
        this, [this, session] { closeLostDevice(session); }, Qt::QueuedConnection);
}

void SerialPortControl::closeLostDevice(quint64 session)
{
    // The port may have been closed and opened again in the meantime.
    if (session == m_openCount && !m_lost.isEmpty() && m_port.isOpen())
        closePort();
}
