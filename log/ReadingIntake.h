#pragma once

#include "ReadingSeries.h"
#include "ResponseLogModel.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Takes the log's rows into the chart's readings on a thread of its own, so that the window's
// thread, which also runs the reply loop, does not read every reply a second time. The
// readings are the window thread's whenever no rows are being taken; readings() waits for
// that, which lasts about a millisecond for every 50,000 rows handed over.
class ReadingIntake {
public:
    ReadingIntake();
    ~ReadingIntake();
    ReadingIntake(const ReadingIntake&) = delete;
    ReadingIntake& operator=(const ReadingIntake&) = delete;

    // Has the rows taken on the intake's thread, after those handed over before.
    void takeLater(ResponseLogModel::LentRows rows);
    // Takes the rows on the calling thread, after those handed over before.
    void takeNow(const ResponseLogModel::LentRows& rows);
    // Rows handed over are still being taken.
    bool isTaking() const;
    ReadingSeriesSet& readings();
    const ReadingSeriesSet& readings() const;
    // The time spent taking rows on the intake's thread, in milliseconds.
    double takingMs() const;

private:
    void run();
    void take(const ResponseLogModel::LentRows& rows);
    void waitUntilTaken() const;

    ReadingSeriesSet m_readings;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<ResponseLogModel::LentRows> m_waiting; // handed over, not yet taken
    bool m_taking = false;                            // on the intake's thread
    bool m_ending = false;
    double m_takingMs = 0;
    std::thread m_thread; // started last, ended first
};
