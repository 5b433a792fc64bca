#include "RunSession.h"

#include "CsvFormat.h"
#include "ModalWatch.h"
#include "RunClock.h"

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

} // namespace

RunSession::RunSession(const RunDefinition& definition, RunTerminal& terminal,
                       const RunClock& clock, const QTimeZone& zone, QObject* parent)
    : QObject(parent),
      m_definition(definition),
      m_clock(clock),
      m_writer(m_file, clock, zone),
      m_run(settingsOf(definition), terminal, m_writer, clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RunSession::wake);
}

RunSession::~RunSession() = default;

QString RunSession::openFile()
{
    return m_file.open(m_definition.csvFile);
}

void RunSession::begin(const QString& portLabel)
{
    m_begun = true;
    m_file.begin(CsvFormat::headerLine());
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
    m_file.discardIfUnused();
}

void RunSession::wake()
{
    m_run.advance();
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

void RunSession::stop(RunEnd end, const QString& detail)
{
    m_run.stop(end, detail);
    afterChange();
}

void RunSession::afterChange()
{
    if (!m_run.isRunning()) {
        m_timer.stop();
        // This may run inside one of the watch's own signals.
        if (m_modals)
            m_modals.release()->deleteLater();
        if (m_begun && !m_endReported) {
            m_endReported = true;
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
        const qint64 inNs = std::max<qint64>(0, wake - m_clock.nowNs());
        m_timer.start(int(std::min<qint64>((inNs + 999'999) / 1'000'000, INT_MAX)));
    }
    emit changed();
}
