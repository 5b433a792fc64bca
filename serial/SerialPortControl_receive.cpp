// Received characters: taken from the port a batch at a time and handed out one by one, with
// an exact count of what waits, also after the device went away.

#include "SerialPortControl.h"

#include <QAbstractEventDispatcher>

#include <cstring>

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
#ifdef Q_OS_WIN
    // On Windows the port's report comes as a queued call, which the event loop may deliver
    // first thing in a wait for events and then go on waiting, for the next unrelated event:
    // the polling loop's yield would not see these characters until then. Ending that wait
    // lets the loop read them now.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->interrupt();
#endif
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
    m_takenTotal += quint64(got);
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
    m_takenTotal = 0;
}
