// The window's serial port: the port number and line settings, opening and closing, sending,
// and noticing that the device went away. What the user is told when an open fails is in
// SerialPortControl_failures.cpp, how received characters are handed out in
// SerialPortControl_receive.cpp.

#include "SerialPortControl.h"

#include "DeviceHolders.h"
#include "PortNames.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

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
    if (number < 1 || number > PortNames::HighestPort)
        throw PortError(QStringLiteral("There is no port COM %1: choose COM 1 to COM %2.")
                            .arg(number)
                            .arg(PortNames::HighestPort));
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
        const QString reason = systemReason(m_port.errorString());
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

void SerialPortControl::setOutput(const QString& text)
{
    if (!m_lost.isEmpty())
        throw PortError(m_lost);
    if (!m_port.isOpen())
        throw PortError(QStringLiteral("%1 is not open.").arg(portLabel()));
    const QByteArray bytes = text.toLatin1();
    m_port.clearError();
    if (m_port.write(bytes) != bytes.size())
        throw PortError(QStringLiteral("Could not send to %1: %2.")
                            .arg(portLabel(), systemReason(m_port.errorString())));
    // Hand the bytes to the device now rather than at the next turn of the event loop.
    m_port.flush();
    if (!m_lost.isEmpty())
        throw PortError(m_lost);
    if (m_port.error() == QSerialPort::WriteError || m_port.error() == QSerialPort::ResourceError) {
        const QString reason = systemReason(m_port.errorString());
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
    const QString reason = systemReason(m_port.errorString());
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
