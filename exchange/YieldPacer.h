#pragma once

#include <QtGlobal>

#include <chrono>
#include <limits>

// Decides how much of a yield a pass of the polling loop needs, and keeps the loop's clock.
//
// A full yield hands every pending window event to its handler and asks every event source
// (the port's among them) whether it has news: a mutex-guarded walk over all sources and a
// poll() system call, some thousand times what taking one received character costs. While
// characters that the port has already delivered are waiting, nothing but a window event could
// change what the next pass does, so such a pass yields in full only when the last full yield
// is WindowIntervalNs old. A click, a key or a queued call thus waits that long at most, plus
// the passes until the clock is next read (a few dozen characters, or the handling of the line
// in hand), and a burst of characters costs a few instructions each. A pass that finds nothing
// waiting always yields in full and may sleep there, so an idle terminal costs what it did
// before.
//
// Reading the clock costs more than such a pass, too, so between full yields it is read only
// every ClockPasses passes. A pass in which it was not read has a short yield: no handler has
// run and the time has not moved, so whatever the pass tests besides the characters (the
// time-out, the connection, closing) answers as it did in the pass before, and the test can be
// left out. The time it gives is never later than the true time and only those few passes
// earlier: a time-out measured with it still ends no read before its time, and at most a few
// characters' worth of nanoseconds after it.
class YieldPacer {
public:
    static constexpr qint64 WindowIntervalNs = 500'000;
    static constexpr int ClockPasses = 64;

    // What the yield of a pass whose characters are already waiting has to do.
    enum class Yield {
        None,      // nothing: the clock was not read and no handler runs
        ClockRead, // nothing but reading the clock: the window was served a moment ago
        Full,      // serve the window
    };

    Yield shortPass()
    {
        if (--m_passesToClock > 0)
            return Yield::None;
        readClock();
        return m_now - m_servedAt < WindowIntervalNs ? Yield::ClockRead : Yield::Full;
    }

    // How many passes from now on have an empty yield (Yield::None), and how to count such
    // passes when they were run elsewhere (see ReadPortLine).
    int emptyPasses() const { return m_passesToClock - 1; }
    void countEmptyPasses(int passes) { m_passesToClock -= passes; }

    // A full yield has just ended.
    void windowServed() { m_servedAt = readClock(); }

    // Something that may take a while (writing to a file) has just been done: the next pass
    // reads the clock.
    void timeMayHavePassed() { m_passesToClock = 1; }

    // Reads the clock afresh: nanoseconds on a monotonic clock.
    qint64 readClock()
    {
        m_passesToClock = ClockPasses;
        m_now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count();
        return m_now;
    }

    // The clock as last read.
    qint64 now() const { return m_now; }

private:
    qint64 m_now = 0;
    qint64 m_servedAt = std::numeric_limits<qint64>::min() / 2; // the first yield is full
    int m_passesToClock = 0;
};
