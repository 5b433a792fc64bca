#include "RunSession.h"

#include "CsvFormat.h"
#include "ModalWatch.h"
#include "RunClock.h"

#include <QStandardPaths>

namespace {

MeasurementRun::Settings settingsOf(const RunDefinition& definition)
{
    MeasurementRun::Settings settings;
    settings.commands = definition.commands;
    settings.periodNs = definition.periodMs * 1'000'000;
    settings.replyTimeoutNs = definition.replyTimeoutMs * 1'000'000;
    settings.cycles = definition.cycles;
    return settings;
}

// The run's timer is never set further ahead than this, so that after the computer slept the
// schedule is worked out again soon (the timer's own clock stands still during a sleep).
constexpr qint64 LongestWaitMs = 1000;

} // namespace

RunSession::RunSession(const RunDefinition& definition, RunTerminal& terminal,
                       const RunClock& clock, const QTimeZone& zone, QObject* parent)
    : QObject(parent), m_definition(definition), m_clock(clock), m_writer(m_file, clock, zone),
      m_run(settingsOf(definition), terminal, m_writer, clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RunSession::wake);
    m_retry.setInterval(RetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &RunSession::retryWriting);
    m_reconnect.setInterval(ReconnectIntervalMs);
    connect(&m_reconnect, &QTimer::timeout, this, &RunSession::reconnectDue);
}

RunSession::~RunSession() = default;

QString RunSession::openFile()
{
    return m_file.open(m_definition.csvFile);
}

void RunSession::begin(const QString& portLabel)
{
    m_begun = true;
    keepReconnecting(false);
    const QString failure = m_file.begin(CsvFormat::headerLine());
    m_modals = std::make_unique<ModalWatch>();
    connect(m_modals.get(), &ModalWatch::opened, this, [this] {
        m_run.modalOpened();
        afterChange();
    });
    connect(m_modals.get(), &ModalWatch::closed, this, [this] {
        m_run.modalClosed();
        afterChange();
    });
    const QString description =
        QStringLiteral("%1, %2 baud, every %3 s, reply time-out %4 s, commands: %5")
            .arg(portLabel, m_definition.baudRate, secondsText(m_definition.periodMs),
                 secondsText(m_definition.replyTimeoutMs),
                 m_definition.commands.join(QStringLiteral(" | ")));
    m_run.start(description);
    if (m_modals->isModalOpen())
        m_run.modalOpened();
    afterChange();
}

void RunSession::discard()
{
    keepReconnecting(false);
    m_file.discardIfUnused();
}

void RunSession::keepReconnecting(bool on)
{
    if (!on) {
        m_reconnect.stop();
        return;
    }
    if (!m_reconnect.isActive()) {
        m_reconnect.start();
        QMetaObject::invokeMethod(this, &RunSession::reconnectDue, Qt::QueuedConnection);
    }
}

void RunSession::wake()
{
    m_run.advance();
    afterChange();
}

void RunSession::retryWriting()
{
    m_writer.retry();
    afterChange();
}

void RunSession::lineArrived(quint64 startPosition, qint64 atNs, qint64 atWallMs,
                             const std::optional<QString>& line)
{
    m_run.lineArrived(startPosition, atNs, atWallMs, line);
    afterChange();
}

void RunSession::sendTyped(const QString& command)
{
    m_run.sendTyped(command);
    afterChange();
}

void RunSession::linkLost(const QString& description)
{
    m_run.linkLost(description);
    if (m_run.isRunning())
        keepReconnecting(true);
    afterChange();
}

void RunSession::linkResumed()
{
    keepReconnecting(false);
    m_run.linkResumed();
    afterChange();
}

void RunSession::notice(const QString& text)
{
    m_run.notice(text);
    afterChange();
}

void RunSession::stop(RunEnd end, const QString& detail)
{
    m_run.stop(end, detail);
    afterChange();
}

QString RunSession::saveUnwrittenTo(const QString& path)
{
    const QString failure = m_writer.saveWaitingTo(path);
    if (failure.isEmpty()) {
        m_unsavedPath = path;
        m_unsavedFailed = false;
    }
    return failure;
}

void RunSession::afterChange()
{
    // Rather than lose a row, the run stops once too many wait.
    if (m_run.isRunning() && m_writer.isFull())
        m_run.stop(RunEnd::RowsNotWritten);
    const bool failing = m_writer.waiting() > 0;
    if (failing != m_writeFailing) {
        m_writeFailing = failing;
        if (failing)
            m_retry.start();
        else
            m_retry.stop();
        if (failing)
            emit fault();
    }
    if (!m_run.isRunning()) {
        m_timer.stop();
        m_retry.stop();
        keepReconnecting(false);
        // This may run inside one of the watch's own signals.
        if (m_modals)
            m_modals.release()->deleteLater();
        if (m_begun && !m_endReported) {
            m_endReported = true;
            if (m_writer.waiting() > 0) {
                m_unsavedPath = m_writer.saveWaiting(
                    QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
                m_unsavedFailed = m_unsavedPath.isEmpty();
            }
            m_file.close();
            emit changed();
            emit ended();
        }
        return;
    }
    const qint64 wake = m_run.nextWakeNs();
    if (wake < 0) {
        m_timer.stop();
    } else {
        const qint64 inMs = (std::max<qint64>(0, wake - m_clock.nowNs()) + 999'999) / 1'000'000;
        m_timer.start(int(std::min(inMs, LongestWaitMs)));
    }
    emit changed();
}
