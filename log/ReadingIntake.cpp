#include "ReadingIntake.h"

#include <QElapsedTimer>

ReadingIntake::ReadingIntake() : m_thread([this] { run(); }) {}

ReadingIntake::~ReadingIntake()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
        m_waiting.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

void ReadingIntake::takeLater(ResponseLogModel::LentRows rows)
{
    if (rows.first() == rows.end())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(rows));
    }
    m_changed.notify_all();
}

void ReadingIntake::takeNow(const ResponseLogModel::LentRows& rows)
{
    waitUntilTaken();
    take(rows);
}

bool ReadingIntake::isTaking() const
{
    const std::lock_guard lock(m_mutex);
    return m_taking || !m_waiting.empty();
}

ReadingSeriesSet& ReadingIntake::readings()
{
    waitUntilTaken();
    return m_readings;
}

const ReadingSeriesSet& ReadingIntake::readings() const
{
    waitUntilTaken();
    return m_readings;
}

double ReadingIntake::takingMs() const
{
    const std::lock_guard lock(m_mutex);
    return m_takingMs;
}

void ReadingIntake::waitUntilTaken() const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_taking && m_waiting.empty(); });
}

void ReadingIntake::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || !m_waiting.empty(); });
        if (m_ending)
            return;
        const ResponseLogModel::LentRows rows = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_taking = true;
        lock.unlock();
        QElapsedTimer timer;
        timer.start();
        take(rows);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        lock.lock();
        m_takingMs += ms;
        m_taking = false;
        m_changed.notify_all();
    }
}

void ReadingIntake::take(const ResponseLogModel::LentRows& rows)
{
    rows.visit([this](RowStamp stamp, QStringView command, QStringView response) {
        m_readings.addRow(stamp.kind(), command, response, stamp.msecsSinceEpoch());
    });
    // While the readings just taken are in the cache.
    for (int series = 0; series < m_readings.count(); ++series)
        m_readings.series(series).readings.summarizeFullBlocks();
}
