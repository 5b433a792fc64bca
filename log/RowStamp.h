#pragma once

#include <QtGlobal>

// What a row of the log records: the rows that Send adds, the reply rows of the polling loop
// and the notices about streaming.
enum class RowKind : quint8 { Command = 0, Reply = 1, Notice = 2 };

// When a row was added (milliseconds since 1970 UTC), its kind and two marks for the chart, in
// 8 bytes. Kept beside the row's texts for the chart; it is neither shown, saved, copied nor read
// aloud with the row.
class RowStamp {
public:
    RowStamp() = default;
    RowStamp(qint64 msecsSinceEpoch, RowKind kind, bool afterBreak = false)
        : m_bits(quint64(msecsSinceEpoch) << TagBits | quint64(kind) |
                 (afterBreak ? AfterBreakBit : 0))
    {
    }

    // An arithmetic shift gives back the sign of a time before 1970.
    qint64 msecsSinceEpoch() const { return qint64(m_bits) >> TagBits; }
    RowKind kind() const { return RowKind(m_bits & KindMask); }
    // A reply in which Strip Data read no digit ("ERROR: unknown command" written as "0"): its
    // Response cell is not a reading.
    bool withoutNumber() const { return m_bits & WithoutNumberBit; }
    void markWithoutNumber() { m_bits |= WithoutNumberBit; }
    // The connection ended, or the log was cleared, before this row: a line of the chart does not
    // join the readings before it to those after it.
    bool afterBreak() const { return m_bits & AfterBreakBit; }
    // A reply row without either mark, the most common row of all.
    bool isPlainReply() const { return (m_bits & TagMask) == quint64(RowKind::Reply); }

private:
    static constexpr int TagBits = 4;
    static constexpr quint64 TagMask = (1u << TagBits) - 1;
    static constexpr quint64 KindMask = 3;
    static constexpr quint64 WithoutNumberBit = 4;
    static constexpr quint64 AfterBreakBit = 8;

    quint64 m_bits = 0;
};
