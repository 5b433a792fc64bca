#include "Simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

Simulator::Simulator(const SimOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_model(options.seed)
{
    connect(&m_talk, &QTimer::timeout, this, [this] {
        reply({QStringList{m_model.reading()}, QString()});
    });
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(QString* error)
{
    stop();
    m_comTaken = false;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        *error = QStringLiteral("cannot make a pseudo-terminal: %1").arg(qt_error_string(errno));
        return false;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_devicePath = QString::fromLocal8Bit(name);

    const SimulatorAlias::Outcome outcome = m_alias.publish(m_options.com, m_devicePath, error);
    if (outcome != SimulatorAlias::Outcome::Published) {
        m_comTaken = outcome == SimulatorAlias::Outcome::Taken;
        stop();
        return false;
    }

    m_readable = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &Simulator::readCommands);
    if (m_options.talkMs > 0)
        m_talk.start(m_options.talkMs);
    return true;
}

void Simulator::stop()
{
    m_talk.stop();
    delete m_readable;
    m_readable = nullptr;
    m_alias.release();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

QByteArray Simulator::lineEnding() const
{
    return m_options.lineFeedOnly ? QByteArray("\n") : QByteArray("\r\n");
}

void Simulator::readCommands()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count <= 0)
            break;
        for (ssize_t i = 0; i < count; ++i) {
            if (!m_framer.feed(QLatin1Char(buffer[i])))
                continue;
            const QString command = m_framer.takeLine();
            std::fprintf(stderr, "bvterm-sim: received \"%s\"\n", qPrintable(command));
            emit commandReceived(command);
            reply(m_model.respond(command));
        }
    }
}

void Simulator::reply(const InstrumentModel::Reply& reply)
{
    QList<QByteArray> pieces;
    for (const QString& line : reply.lines) {
        const QByteArray bytes = line.toLatin1() + lineEnding();
        if (m_options.stallMs >= 0) {
            // Half the line now, the rest later.
            pieces << bytes.left(bytes.size() / 2) << bytes.mid(bytes.size() / 2);
        } else {
            pieces << bytes;
        }
    }
    if (!reply.unterminated.isEmpty())
        pieces << reply.unterminated.toLatin1();
    int at = m_options.delayMs;
    for (int i = 0; i < pieces.size(); ++i) {
        if (at == 0) {
            sendText(pieces[i]);
        } else {
            QTimer::singleShot(at, this, [this, piece = pieces[i]] { sendText(piece); });
        }
        if (m_options.stallMs >= 0 && i % 2 == 0)
            at += m_options.stallMs;
    }
}

void Simulator::sendText(const QByteArray& text)
{
    if (m_master < 0)
        return;
    // What the line has no room for is lost, as with an instrument whose listener went away.
    const ssize_t count = ::write(m_master, text.constData(), size_t(text.size()));
    const qint64 lost = text.size() - qMax<qint64>(count, 0);
    if (lost == 0) {
        if (m_lineFull)
            std::fprintf(stderr, "bvterm-sim: the line has room again; %lld bytes lost so far\n",
                         static_cast<long long>(m_lostBytes));
        m_lineFull = false;
        return;
    }
    m_lostBytes += lost;
    if (!m_lineFull)
        std::fprintf(stderr, "bvterm-sim: nobody is reading: the line is full, and what does not "
                             "fit is lost until the terminal reads again\n");
    m_lineFull = true;
}

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int runSimulator(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString error;
    if (!parseSimOptions(app.arguments().mid(1), &options, &error)) {
        std::fprintf(stderr, "bvterm-sim: %s\n", qPrintable(error));
        return SimExit::Usage;
    }
    if (options.help) {
        std::fputs(qPrintable(simUsage()), stdout);
        return SimExit::Ok;
    }

    // Ctrl+C and SIGTERM end the event loop, so that the alias is removed on the way out.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        std::perror("bvterm-sim: socketpair");
        return SimExit::Failure;
    }
    QSocketNotifier stopRequest(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopRequest, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);

    Simulator simulator(options);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "bvterm-sim: %s\n", qPrintable(error));
        return simulator.comTaken() ? SimExit::ComTaken : SimExit::Failure;
    }
    std::printf("bvterm-sim: instrument on %s, published as COM %d (%s)\n",
                qPrintable(simulator.devicePath()), options.com, qPrintable(simulator.aliasPath()));
    std::printf("bvterm-sim: choose COM %d in the terminal and press Connect; try ID?, TEMP?, "
                "PRES?, VOLT?, READ? or HELP?. Ctrl+C ends the simulator.\n",
                options.com);
    std::fflush(stdout);
    const int status = app.exec();
    simulator.stop();
    std::printf("bvterm-sim: stopped, alias removed\n");
    return status;
}
