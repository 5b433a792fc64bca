#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <sys/types.h>

// Measurements shared by the benchmarks.
namespace bench {

// Bytes of heap in use by the process right now.
size_t heapInUse();
// Resident memory of the process in bytes.
size_t residentBytes();
// Peak resident memory of the process in bytes.
size_t peakResidentBytes();
// CPU time (user and system) the process has used, in seconds.
double cpuSeconds();
// A size such as 1000000 written as "1M".
QString shortCount(long long count);
// Milliseconds the process's main thread (the window's) has spent runnable but waiting for a
// core, from the scheduler's statistics; 0 where they cannot be read.
double runQueueWaitMs();

// The instrument as a process of its own, so that its writing is not counted in this process's
// CPU time: forked at once, it waits for the word to go, runs `write` and exits. The child
// should run nothing but system calls, since the bench has other threads.
class WriterProcess {
public:
    explicit WriterProcess(const std::function<void()>& write);
    ~WriterProcess();
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;

    bool started() const { return m_pid > 0; }
    void go();
    // Waits until the writer has exited.
    void finish();

private:
    pid_t m_pid = -1;
    int m_go = -1;
};

} // namespace bench
