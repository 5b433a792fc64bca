#include "SerialPortControl.h"

#include "PortNames.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// Name of the group that owns the device, or "" when it cannot be read.
QString owningGroup(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    const struct group* entry = ::getgrgid(info.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
}
#endif

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

SerialPortControl::SerialPortControl(QObject* parent) : QObject(parent)
{
    // Received data is never thrown away: the buffer grows until the program reads it.
    m_port.setReadBufferSize(0);
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
    if (number < 1 || number > 12)
        throw PortError(
            QStringLiteral("There is no port COM %1: choose COM 1 to COM 12.").arg(number));
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
    m_port.setPortName(m_device);
    if (!m_port.open(QIODevice::ReadWrite))
        throw PortError(openFailure(m_port.error()));
    applySettings();
    // Devices without modem lines (a pseudo-terminal, some adapters) refuse these; that is no
    // reason not to talk to them.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(false);
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
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("%1 does not exist. Check that the device is plugged in and "
                              "switched on, or choose another port.")
            .arg(label);
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0) {
            const QString group = owningGroup(path);
            return QStringLiteral("Permission denied for %1. Join the group that owns the "
                                  "device (%2), for example with \"sudo usermod -aG %2 $USER\", "
                                  "then log out and in again.")
                .arg(label, group.isEmpty() ? QStringLiteral("dialout") : group);
        }
#endif
        return QStringLiteral("%1 is in use by another program.").arg(label);
    }
    case QSerialPort::OpenError:
        return QStringLiteral("%1 is in use by another program.").arg(label);
    case QSerialPort::UnsupportedOperationError:
        if (!isTerminalDevice(path))
            return QStringLiteral("%1 is not a serial device.").arg(label);
        return QStringLiteral("%1 does not support the setting %2.").arg(label, m_settings);
    default:
        return QStringLiteral("%1 could not be opened: %2.").arg(label, m_port.errorString());
    }
}

void SerialPortControl::portReceived()
{
    noteWaitingInPort();
    // A device that went away keeps nothing in the port, which is about to close.
    if (!m_lost.isEmpty())
        takeFromPort();
}

void SerialPortControl::noteWaitingInPort()
{
    const qint64 waiting = m_port.isOpen() ? m_port.bytesAvailable() : 0;
    m_portWaiting = static_cast<int>(std::min<qint64>(waiting, 1'000'000'000));
}

void SerialPortControl::takeFromPort()
{
    // What has been handed out goes; the storage stays for the next batch.
    const qsizetype kept = m_end - m_next;
    if (kept > 0 && m_next != m_received.constData())
        std::memmove(m_received.data(), m_next, size_t(kept));
    const qint64 available =
        m_port.isOpen() ? std::min<qint64>(m_port.bytesAvailable(), BatchLimit) : 0;
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
    takeFromPort();
    return m_next != m_end ? static_cast<unsigned char>(*m_next++) : -1;
}

QString SerialPortControl::Input()
{
    if (m_lost.isEmpty() && !m_port.isOpen())
        throw PortError(QStringLiteral("%1 is not open.").arg(portLabel()));
    if (m_inputLen == 0 || m_end - m_next < m_inputLen)
        takeFromPort();
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
    if (!m_lost.isEmpty() || !m_port.isOpen() || !deviceHungUp())
        return;
    // A hung-up device reports the error again on every turn of the event loop, so the port is
    // closed right away; what it sent before stays readable.
    takeFromPort();
    m_lost = QStringLiteral("%1 was disconnected: the device went away or the other end hung up.")
                 .arg(portLabel());
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
