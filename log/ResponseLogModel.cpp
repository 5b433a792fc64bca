#include "ResponseLogModel.h"

#include <QDateTime>

#include <utility>

int ResponseLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
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
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back({m_text.store(command),
                      {},
                      RowStamp(msecsSinceEpoch, kind, std::exchange(m_breakPending, false))});
    endInsertRows();
    return row;
}

void ResponseLogModel::setResponse(int row, QStringView response)
{
    if (row < 0 || row >= rowCount())
        return;
    m_rows[row].response = m_text.store(response);
    const QModelIndex cellIndex = index(row, ResponseColumn);
    emit dataChanged(cellIndex, cellIndex, {Qt::DisplayRole});
}

void ResponseLogModel::markWithoutNumber(int row)
{
    if (row >= 0 && row < rowCount())
        m_rows[size_t(row)].stamp.markWithoutNumber();
}

QStringView ResponseLogModel::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const Row& r = m_rows[row];
    return m_text.view(column == CommandColumn ? r.command : r.response);
}

LogRow ResponseLogModel::row(int row) const
{
    return {cell(row, CommandColumn).toString(), cell(row, ResponseColumn).toString()};
}

void ResponseLogModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_text.clear();
    endResetModel();
}
