#include "FrameClock.h"

#include <algorithm>

FrameClock::FrameClock(QObject* parent) : QObject(parent)
{
    m_elapsed.start();
    m_timer.setSingleShot(true);
    // A frame late by a millisecond or two is not seen; a coarse timer wakes the process less.
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FrameClock::due);
}

qint64 FrameClock::now() const
{
    return m_elapsed.elapsed();
}

void FrameClock::wakeAt(qint64 at)
{
    m_timer.start(int(std::max<qint64>(0, at - now())));
}

void FrameClock::cancelWake()
{
    m_timer.stop();
}
