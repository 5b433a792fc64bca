// The readings of a series as the chart keeps them, in 12 bytes a reading with summaries of
// blocks of 64, and the sorting of the log's rows into series by the command above them.

#include "ReadingSeries.h"

#include <algorithm>

// A new chunk, a time far from its chunk's first, or the clock set back.
void ReadingList::appendSlowly(qint64 msecs, double value)
{
    const qsizetype slot = m_size & ChunkMask;
    if (slot == 0) {
        // Left uninitialised: every slot is written before it is read.
        m_chunks.push_back({msecs, std::unique_ptr<qint32[]>(new qint32[ChunkSize]),
                            std::unique_ptr<double[]>(new double[ChunkSize])});
    }
    Chunk& chunk = m_chunks.back();
    const qint64 offset = msecs - chunk.base;
    if (offset > std::numeric_limits<qint32>::max() || offset <= FarOffset) {
        // More than 24 days from the chunk's first reading: rare enough to keep aside.
        chunk.offsets[slot] = FarOffset;
        m_farTimes.emplace(m_size, msecs);
    } else {
        chunk.offsets[slot] = static_cast<qint32>(offset);
    }
    chunk.values[slot] = value;
    if (m_size == 0) {
        m_earliest = m_latest = msecs;
    } else {
        m_ordered = m_ordered && msecs >= m_latest;
        m_earliest = std::min(m_earliest, msecs);
        m_latest = std::max(m_latest, msecs);
    }
    ++m_size;
}

qint64 ReadingList::msecsAt(qsizetype index) const
{
    const Chunk& chunk = chunkOf(index);
    const qint32 offset = chunk.offsets[index & ChunkMask];
    if (offset == FarOffset)
        return m_farTimes.at(index);
    return chunk.base + offset;
}

void ReadingList::scanExtremes(qsizetype begin, qsizetype end, double& low, qsizetype& lowest,
                               double& high, qsizetype& highest) const
{
    for (qsizetype index = begin; index < end;) {
        const qsizetype run = std::min(contiguousFrom(index), end - index);
        const double* values = valuesFrom(index);
        for (qsizetype i = 0; i < run; ++i) {
            if (values[i] < low) {
                low = values[i];
                lowest = index + i;
            } else if (values[i] > high) {
                high = values[i];
                highest = index + i;
            }
        }
        index += run;
    }
}

void ReadingList::summarizeBlocks(qsizetype endBlock) const
{
    while (qsizetype(m_blockExtremes.size()) < endBlock) {
        const qsizetype start = qsizetype(m_blockExtremes.size()) * BlockSize;
        BlockExtremes block;
        qsizetype blockLowest = start;
        qsizetype blockHighest = start;
        block.low = block.high = valueAt(start);
        scanExtremes(start, start + BlockSize, block.low, blockLowest, block.high, blockHighest);
        block.lowAt = quint16(blockLowest - start);
        block.highAt = quint16(blockHighest - start);
        m_blockExtremes.push_back(block);
    }
}

void ReadingList::summarizeFullBlocks() const
{
    summarizeBlocks(m_size / BlockSize);
}

std::pair<qsizetype, qsizetype> ReadingList::extremes(qsizetype begin, qsizetype end) const
{
    qsizetype lowest = begin;
    qsizetype highest = begin;
    double low = valueAt(begin);
    double high = low;
    // The full blocks within the range, between a head and a tail of single readings.
    const qsizetype firstBlock = (begin + BlockSize - 1) / BlockSize;
    const qsizetype endBlock = end / BlockSize;
    if (endBlock - firstBlock < 2) {
        scanExtremes(begin, end, low, lowest, high, highest);
        return {lowest, highest};
    }
    summarizeBlocks(endBlock);
    scanExtremes(begin, firstBlock * BlockSize, low, lowest, high, highest);
    // Strictly lower and higher only, as above: the first of equal extremes is kept.
    for (qsizetype b = firstBlock; b < endBlock; ++b) {
        const BlockExtremes& block = m_blockExtremes[size_t(b)];
        if (block.low < low) {
            low = block.low;
            lowest = b * BlockSize + block.lowAt;
        }
        if (block.high > high) {
            high = block.high;
            highest = b * BlockSize + block.highAt;
        }
    }
    scanExtremes(endBlock * BlockSize, end, low, lowest, high, highest);
    return {lowest, highest};
}

void ReadingList::breakLine()
{
    if (m_size > 0 && (m_segmentStarts.empty() || m_segmentStarts.back() != m_size))
        m_segmentStarts.push_back(m_size);
}

qsizetype ReadingList::segmentOf(qsizetype index) const
{
    return std::upper_bound(m_segmentStarts.begin(), m_segmentStarts.end(), index) -
           m_segmentStarts.begin();
}

qsizetype ReadingList::segmentEnd(qsizetype index) const
{
    const auto next = std::upper_bound(m_segmentStarts.begin(), m_segmentStarts.end(), index);
    return next == m_segmentStarts.end() ? m_size : std::min(*next, m_size);
}

qsizetype ReadingList::lowerBound(qint64 msecs) const
{
    qsizetype low = 0;
    qsizetype high = m_size;
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (msecsAt(middle) < msecs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

qsizetype ReadingList::upperBound(qint64 msecs) const
{
    return msecs == std::numeric_limits<qint64>::max() ? m_size : lowerBound(msecs + 1);
}

QString ReadingSeriesSet::unsolicitedName()
{
    return QStringLiteral("Unsolicited");
}

QString ReadingSeriesSet::seriesName(QStringView command)
{
    return command.isEmpty() ? QStringLiteral("(empty command)") : command.toString();
}

int ReadingSeriesSet::addOtherRow(RowStamp stamp, QStringView command, QStringView response)
{
    if (stamp.afterBreak()) {
        // Each series takes the break in at its next reading, which comes this way.
        ++m_breaks;
        m_current = -1;
        m_currentReadings = nullptr;
    }
    const RowKind kind = stamp.kind();
    if (kind == RowKind::Command) {
        m_command = command.toString();
        m_haveCommand = true;
        m_current = -1;
        return -1;
    }
    if (kind != RowKind::Reply || stamp.withoutNumber())
        return -1;
    const std::optional<double> value = readingValue(response);
    if (!value)
        return -1;
    if (!m_haveCommand) {
        if (m_unsolicited < 0)
            m_unsolicited = newSeries(unsolicitedName());
        m_current = m_unsolicited;
    } else {
        // The unsolicited series is not among the commands' (a command may be any text).
        const auto found = m_byCommand.constFind(m_command);
        m_current =
            found != m_byCommand.constEnd() ? found.value() : newSeries(seriesName(m_command));
        m_byCommand.insert(m_command, m_current);
    }
    ReadingSeries& series = *m_series[size_t(m_current)];
    if (series.breaksSeen != m_breaks) {
        series.readings.breakLine();
        series.breaksSeen = m_breaks;
    }
    m_currentReadings = &series.readings;
    m_currentReadings->append(stamp.msecsSinceEpoch(), *value);
    ++m_readings;
    return m_current;
}

int ReadingSeriesSet::newSeries(const QString& name)
{
    m_series.push_back(std::make_unique<ReadingSeries>());
    m_series.back()->name = name;
    m_series.back()->breaksSeen = m_breaks;
    return count() - 1;
}

void ReadingSeriesSet::clear()
{
    m_series.clear();
    m_byCommand.clear();
    m_command.clear();
    m_haveCommand = false;
    m_current = -1;
    m_currentReadings = nullptr;
    m_unsolicited = -1;
    m_readings = 0;
    m_breaks = 0;
}
