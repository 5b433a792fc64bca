#pragma once

#include "Readings.h"
#include "log/RowStamp.h"

#include <QHash>
#include <QString>
#include <QStringView>

#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

// One reading: the time its row was added (milliseconds since 1970 UTC) and its value.
struct Reading {
    qint64 msecs = 0;
    double value = 0;
};

// The readings of one series in the order of their rows, in 12 bytes a reading: each is kept
// as its value and its time as an offset from the first reading of its chunk. Each block of 64
// readings that has been scanned for its extremes adds 24 bytes.
class ReadingList {
public:
    void append(qint64 msecs, double value)
    {
        // Most readings go into the chunk being filled, within 24 days of its first one.
        const qsizetype slot = m_size & ChunkMask;
        if (slot != 0) {
            Chunk& chunk = m_chunks.back();
            const qint64 offset = msecs - chunk.base;
            if (offset >= 0 && offset <= std::numeric_limits<qint32>::max() && msecs >= m_latest) {
                chunk.offsets[slot] = static_cast<qint32>(offset);
                chunk.values[slot] = value;
                m_latest = msecs;
                ++m_size;
                return;
            }
        }
        appendSlowly(msecs, value);
    }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    qint64 msecsAt(qsizetype index) const;
    double valueAt(qsizetype index) const { return chunkOf(index).values[index & ChunkMask]; }
    Reading at(qsizetype index) const { return {msecsAt(index), valueAt(index)}; }
    // The values of readings [index, index + count) lie back to back from here, as long as
    // they stay within one chunk (see contiguousFrom).
    const double* valuesFrom(qsizetype index) const
    {
        return chunkOf(index).values.get() + (index & ChunkMask);
    }
    // How many readings from `index` on lie back to back in memory.
    qsizetype contiguousFrom(qsizetype index) const
    {
        return std::min<qsizetype>(ChunkSize - (index & ChunkMask), m_size - index);
    }

    // The first lowest and the first highest of the readings [begin, end) (begin < end), by
    // index. Long runs cost a look at every 64th reading: each full block of 64 is summed up
    // once, the first time it is asked for.
    std::pair<qsizetype, qsizetype> extremes(qsizetype begin, qsizetype end) const;
    // Sums up every full block not yet summed up: cheapest while the readings just taken are
    // still in the cache.
    void summarizeFullBlocks() const;

    // The next reading appended starts a new segment of the line: it is not joined to the
    // readings before it (the connection ended in between).
    void breakLine();
    // Which segment the reading at `index` belongs to, counted from 0.
    qsizetype segmentOf(qsizetype index) const;
    // The reading that starts the segment after the one holding `index`, or size().
    qsizetype segmentEnd(qsizetype index) const;

    // Times only ever grew (the clock was not set back while readings came).
    bool isTimeOrdered() const { return m_ordered; }
    qint64 earliest() const { return m_earliest; }
    qint64 latest() const { return m_latest; }
    // In a time-ordered list: the first reading at or after `msecs`, and the first after it.
    qsizetype lowerBound(qint64 msecs) const;
    qsizetype upperBound(qint64 msecs) const;

private:
    static constexpr int ChunkShift = 12;
    static constexpr qsizetype ChunkSize = qsizetype(1) << ChunkShift;
    static constexpr qsizetype ChunkMask = ChunkSize - 1;
    // An offset that does not fit 32 bits: the time is kept aside.
    static constexpr qint32 FarOffset = std::numeric_limits<qint32>::min();

    struct Chunk {
        qint64 base = 0;
        std::unique_ptr<qint32[]> offsets;
        std::unique_ptr<double[]> values;
    };
    static constexpr qsizetype BlockSize = 64; // chunks hold whole blocks

    // The lowest and highest reading of a block, with their offsets in it.
    struct BlockExtremes {
        double low = 0;
        double high = 0;
        quint16 lowAt = 0;
        quint16 highAt = 0;
    };

    const Chunk& chunkOf(qsizetype index) const { return m_chunks[size_t(index >> ChunkShift)]; }
    void appendSlowly(qint64 msecs, double value);
    void summarizeBlocks(qsizetype endBlock) const;
    // Scans the readings [begin, end) for values beyond low and high.
    void scanExtremes(qsizetype begin, qsizetype end, double& low, qsizetype& lowest, double& high,
                      qsizetype& highest) const;

    std::vector<Chunk> m_chunks;
    std::unordered_map<qsizetype, qint64> m_farTimes;
    mutable std::vector<BlockExtremes> m_blockExtremes; // of the first full blocks, as asked
    std::vector<qsizetype> m_segmentStarts;             // readings after a break, ascending; rare
    qsizetype m_size = 0;
    bool m_ordered = true;
    qint64 m_earliest = 0;
    qint64 m_latest = 0;
};

// A series of the chart: the readings that answer one command text.
struct ReadingSeries {
    QString name;
    ReadingList readings;
    quint64 breaksSeen = 0; // the set's breaks that its line has taken
};

// The readings of a log sorted into series as its rows come, oldest first. A reading is a reply
// row whose Response cell is a reading (readingValue) and that is not marked as carrying no
// number. It belongs to the last command row above it; rows with the same command text share
// one series, named after it. Readings with no command row above them form the series
// "Unsolicited". A row marked afterBreak breaks the line of every series there.
class ReadingSeriesSet {
public:
    static QString unsolicitedName();
    // The name of the series of a command text.
    static QString seriesName(QStringView command);

    // Takes the next row of the log. Returns the index of the series that a reading went to,
    // or -1 when the row holds no reading.
    int addRow(RowStamp stamp, QStringView command, QStringView response)
    {
        // Most rows are replies to the command whose series already has readings.
        if (stamp.isPlainReply() && m_current >= 0) {
            const std::optional<double> value = readingValue(response);
            if (!value)
                return -1;
            m_currentReadings->append(stamp.msecsSinceEpoch(), *value);
            ++m_readings;
            return m_current;
        }
        return addOtherRow(stamp, command, response);
    }
    // The log was cleared: no series, and no command row above the rows that follow.
    void clear();

    int count() const { return static_cast<int>(m_series.size()); }
    const ReadingSeries& series(int index) const { return *m_series[size_t(index)]; }
    qsizetype readingCount() const { return m_readings; }

private:
    int addOtherRow(RowStamp stamp, QStringView command, QStringView response);
    int newSeries(const QString& name);

    std::vector<std::unique_ptr<ReadingSeries>> m_series;
    QHash<QString, int> m_byCommand; // the series of each command text
    QString m_command;               // text of the last command row
    bool m_haveCommand = false;
    // The series of the readings that come next, once known: of the last command row, or
    // "Unsolicited" before the first command
    int m_current = -1;
    ReadingList* m_currentReadings = nullptr;
    int m_unsolicited = -1;
    qsizetype m_readings = 0;
    quint64 m_breaks = 0; // rows marked afterBreak so far
};
