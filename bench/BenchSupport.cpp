#include "BenchSupport.h"

#include <QFile>

#include <cstdio>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

size_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? size_t(fields[1].toULongLong()) * size_t(sysconf(_SC_PAGESIZE)) : 0;
}

size_t peakResidentBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return size_t(usage.ru_maxrss) * 1024;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString shortCount(long long count)
{
    if (count >= 1000000 && count % 1000000 == 0)
        return QString::number(count / 1000000) + QLatin1Char('M');
    if (count >= 1000 && count % 1000 == 0)
        return QString::number(count / 1000) + QLatin1Char('k');
    return QString::number(count);
}

double runQueueWaitMs()
{
    QFile file(QStringLiteral("/proc/self/task/%1/schedstat").arg(::getpid()));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readLine().split(' ');
    return fields.size() > 1 ? double(fields[1].toULongLong()) / 1e6 : 0;
}

WriterProcess::WriterProcess(const std::function<void()>& write)
{
    int go[2];
    if (::pipe(go) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(go[1]);
        char word = 0;
        if (::read(go[0], &word, 1) == 1)
            write();
        ::_exit(0);
    }
    ::close(go[0]);
    m_go = go[1];
}

WriterProcess::~WriterProcess()
{
    if (m_go >= 0)
        ::close(m_go);
    finish();
}

void WriterProcess::go()
{
    const char word = 'g';
    if (::write(m_go, &word, 1) != 1)
        std::printf("the writer did not get the word to go\n");
}

void WriterProcess::finish()
{
    if (m_pid > 0)
        ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

} // namespace bench
