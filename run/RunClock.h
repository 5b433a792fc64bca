#pragma once

#include <QtGlobal>

// The clocks a measurement run reads: a monotonic one for its schedule, which goes on counting
// while the computer sleeps, and the wall clock for the time column. Tests hand in their own.
class RunClock {
public:
    virtual ~RunClock() = default;
    // Nanoseconds on the schedule's clock (CLOCK_BOOTTIME on Linux, the performance counter on
    // Windows); only differences mean anything.
    virtual qint64 nowNs() const;
    // Milliseconds since 1970 UTC.
    virtual qint64 wallMs() const;
};
