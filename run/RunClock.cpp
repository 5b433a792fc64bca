#include "RunClock.h"

#include <QDateTime>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <ctime>
#endif

qint64 RunClock::nowNs() const
{
#ifdef Q_OS_WIN
    static const qint64 frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return qint64(f.QuadPart);
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    const qint64 ticks = count.QuadPart;
    return ticks / frequency * 1'000'000'000 + ticks % frequency * 1'000'000'000 / frequency;
#else
#ifdef CLOCK_BOOTTIME
    constexpr clockid_t clock = CLOCK_BOOTTIME;
#else
    constexpr clockid_t clock = CLOCK_MONOTONIC;
#endif
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
#endif
}

qint64 RunClock::wallMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}
