#include "BenchSupport.h"

#include <QFile>

#include <malloc.h>
#include <sys/resource.h>
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

} // namespace bench
