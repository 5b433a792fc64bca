#pragma once

#include <QString>

#include <cstddef>

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

} // namespace bench
