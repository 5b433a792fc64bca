#pragma once

#include <QtGlobal>

// What a row of the log records: the rows that Send adds, the reply rows of the polling loop
// and the notices about streaming.
enum class RowKind : quint8 { Command = 0, Reply = 1, Notice = 2 };

// When a row was added (milliseconds since 1970 UTC) and its kind, in 8 bytes. Kept beside the
// row's texts for the chart; it is neither saved nor copied with the row.
class RowStamp {
public:
    RowStamp() = default;
    RowStamp(qint64 msecsSinceEpoch, RowKind kind)
        : m_bits(quint64(msecsSinceEpoch) << KindBits | quint64(kind))
    {
    }

    // An arithmetic shift gives back the sign of a time before 1970.
    qint64 msecsSinceEpoch() const { return qint64(m_bits) >> KindBits; }
    RowKind kind() const { return RowKind(m_bits & KindMask); }

private:
    static constexpr int KindBits = 2;
    static constexpr quint64 KindMask = (1u << KindBits) - 1;

    quint64 m_bits = 0;
};
