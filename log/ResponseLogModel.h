#pragma once

#include "RowStamp.h"
#include "TextArena.h"

#include <QAbstractTableModel>

#include <deque>

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
    // The reply in `row` carries no number: Strip Data read no digit in it (see RowStamp).
    void markWithoutNumber(int row);
    // The rows that come next are apart from those before: the connection ended, or the log was
    // cleared. The next row added is marked (RowStamp::afterBreak), so that the chart's lines
    // break there; nothing else shows it.
    void markBreak() { m_breakPending = true; }
    QStringView cell(int row, int column) const;
    LogRow row(int row) const;
    RowStamp stamp(int row) const { return m_rows[size_t(row)].stamp; }
    // Calls visit(stamp, command, response) for the rows from `first` to the last, in order:
    // reading many rows this way costs no lookup per row.
    template <typename Visit> void visitRows(int first, Visit&& visit) const
    {
        for (auto row = m_rows.begin() + first; row != m_rows.end(); ++row)
            visit(row->stamp, m_text.view(row->command), m_text.view(row->response));
    }
    void clear();

private:
    struct Row {
        TextArena::Span command;
        TextArena::Span response;
        RowStamp stamp;
    };
    static_assert(sizeof(Row) == 24, "a log of millions of rows keeps 24 bytes a row here");

    std::deque<Row> m_rows;
    TextArena m_text;
    bool m_breakPending = false; // the next row is marked afterBreak
};
