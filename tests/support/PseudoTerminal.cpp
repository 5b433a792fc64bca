#include "PseudoTerminal.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

int speedToRate(speed_t speed)
{
    switch (speed) {
    case B150:
        return 150;
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return -1;
    }
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
    releaseSlave();
}

void PseudoTerminal::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            break;
        }
    }
}

QByteArray PseudoTerminal::read(int count, int timeoutMs)
{
    QByteArray result;
    const QDeadlineTimer deadline(timeoutMs);
    while (result.size() < count && m_master >= 0) {
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer,
                                 std::min<size_t>(sizeof buffer, size_t(count - result.size())));
        if (n > 0) {
            result.append(buffer, n);
            continue;
        }
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, int(std::min<qint64>(left, 100)));
    }
    return result;
}

QByteArray PseudoTerminal::readUntil(const QByteArray& terminator, int timeoutMs)
{
    QByteArray result;
    const QDeadlineTimer deadline(timeoutMs);
    while (!result.endsWith(terminator) && !deadline.hasExpired())
        result += read(1, int(std::max<qint64>(1, deadline.remainingTime())));
    return result;
}

int PseudoTerminal::queuedForTerminal() const
{
    int count = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &count) != 0)
        return -1;
    return count;
}

bool PseudoTerminal::waitUntilQueued(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (queuedForTerminal() != count) {
        if (deadline.hasExpired())
            return false;
        ::usleep(1000);
    }
    return true;
}

QByteArray PseudoTerminal::readAvailable()
{
    return read(1 << 20, 0);
}

int PseudoTerminal::baudRate() const
{
    termios settings{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &settings) != 0)
        return -1;
    return speedToRate(cfgetospeed(&settings));
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PseudoTerminal::releaseSlave()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}
