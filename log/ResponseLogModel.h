#pragma once

#include "RowStamp.h"
#include "TextArena.h"

#include <QAbstractTableModel>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

// One row of the response log: its Command cell and its Response cell.
struct LogRow {
    QString Command;
    QString Response;
};

// The rows of the response log in the order they were added, two columns each. Texts live in
// a shared arena so that a log of millions of rows stays small.
class ResponseLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { CommandColumn = 0, ResponseColumn = 1 };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Appends a row with the given Command cell and an empty Response cell, stamped with the
    // current time (or the time given); returns its index counted from 0.
    int append(QStringView command, RowKind kind = RowKind::Reply);
    int append(QStringView command, RowKind kind, qint64 msecsSinceEpoch);
    void setResponse(int row, QStringView response);
    QStringView cell(int row, int column) const;
    LogRow row(int row) const;
    RowStamp stamp(int row) const { return rowAt(row).stamp; }
    void clear();

private:
    struct Row {
        TextArena::Span command;
        // Set after the row is added, and read by a reader of lent rows on another thread.
        std::atomic<TextArena::Span> response{TextArena::Span()};
        RowStamp stamp;
    };
    static constexpr int ChunkShift = 12;
    static constexpr int ChunkRows = 1 << ChunkShift;
    static constexpr int ChunkMask = ChunkRows - 1;
    using Chunk = std::shared_ptr<Row[]>; // rows never move once added

public:
    // Rows of the log lent to a reader on another thread: they stay readable there while the
    // log takes more rows, is cleared or is gone. A Response set after lending may or may not
    // be seen there (the log sets it right after adding the row).
    class LentRows {
    public:
        int first() const { return m_first; }
        int end() const { return m_end; }
        // Calls visit(stamp, command, response) for the rows, in order.
        template <typename Visit> void visit(Visit&& visit) const
        {
            for (int row = m_first; row < m_end;) {
                const Row* rows =
                    m_chunks[size_t((row >> ChunkShift) - (m_first >> ChunkShift))].get();
                const int chunkEnd = std::min(m_end, (row | ChunkMask) + 1);
                for (; row < chunkEnd; ++row) {
                    const Row& r = rows[row & ChunkMask];
                    visit(r.stamp, m_text.view(r.command),
                          m_text.view(r.response.load(std::memory_order_acquire)));
                }
            }
        }

    private:
        friend class ResponseLogModel;
        int m_first = 0;
        int m_end = 0;
        std::vector<std::shared_ptr<const Row[]>> m_chunks; // those holding the rows
        TextArena::Lent m_text;
    };
    // Lends the rows from `first` to the last.
    LentRows lendRows(int first) const;

private:
    const Row& rowAt(int row) const { return m_chunks[size_t(row >> ChunkShift)][row & ChunkMask]; }
    static_assert(sizeof(Row) == 24, "a log of millions of rows keeps 24 bytes a row here");

    std::vector<Chunk> m_chunks;
    int m_rowCount = 0;
    TextArena m_text;
};
