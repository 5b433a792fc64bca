#include "ResponseLogModel.h"

#include <QDateTime>

#include <algorithm>

int ResponseLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int ResponseLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ResponseLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return cell(index.row(), index.column()).toString();
}

QVariant ResponseLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == CommandColumn ? QStringLiteral("Command") : QStringLiteral("Response");
}

int ResponseLogModel::append(QStringView command, RowKind kind)
{
    return append(command, kind, QDateTime::currentMSecsSinceEpoch());
}

int ResponseLogModel::append(QStringView command, RowKind kind, qint64 msecsSinceEpoch)
{
    const int row = m_rowCount;
    beginInsertRows({}, row, row);
    if ((row & ChunkMask) == 0)
        m_chunks.push_back(Chunk(new Row[ChunkRows]));
    Row& added = m_chunks.back()[row & ChunkMask];
    added.command = m_text.store(command);
    added.stamp = RowStamp(msecsSinceEpoch, kind);
    ++m_rowCount;
    endInsertRows();
    return row;
}

void ResponseLogModel::setResponse(int row, QStringView response)
{
    if (row < 0 || row >= rowCount())
        return;
    m_chunks[size_t(row >> ChunkShift)][row & ChunkMask].response.store(m_text.store(response),
                                                                        std::memory_order_release);
    const QModelIndex cellIndex = index(row, ResponseColumn);
    emit dataChanged(cellIndex, cellIndex, {Qt::DisplayRole});
}

QStringView ResponseLogModel::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const Row& r = rowAt(row);
    return m_text.view(column == CommandColumn ? r.command
                                               : r.response.load(std::memory_order_relaxed));
}

LogRow ResponseLogModel::row(int row) const
{
    return {cell(row, CommandColumn).toString(), cell(row, ResponseColumn).toString()};
}

void ResponseLogModel::clear()
{
    beginResetModel();
    // Lent rows keep their chunks and texts.
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_rowCount = 0;
    m_text.clear();
    endResetModel();
}

ResponseLogModel::LentRows ResponseLogModel::lendRows(int first) const
{
    LentRows lent;
    lent.m_first = std::clamp(first, 0, m_rowCount);
    lent.m_end = m_rowCount;
    if (lent.m_first < lent.m_end) {
        const auto firstChunk = m_chunks.begin() + (lent.m_first >> ChunkShift);
        lent.m_chunks.assign(firstChunk, m_chunks.begin() + ((lent.m_end - 1) >> ChunkShift) + 1);
        lent.m_text = m_text.lend();
    }
    return lent;
}
