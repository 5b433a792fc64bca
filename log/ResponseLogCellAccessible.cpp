// One cell of the response log, or one of its column headers, as assistive technology reads it:
// its whole text, where it lies on the screen, and whether it is selected or shown.

#include "ResponseLogCellAccessible.h"
#include "ResponseListView.h"

#include <QHeaderView>
#include <QScrollBar>

bool ResponseLogCellAccessible::isValid() const
{
    const ResponseListView* log = m_table->view();
    if (!log || m_column < 0 || m_column >= m_table->columnCount())
        return false;
    return isHeader() ? m_row == -1 : m_row < log->Count();
}

QAccessibleInterface* ResponseLogCellAccessible::parent() const
{
    return const_cast<ResponseLogAccessible*>(m_table);
}

QAccessibleInterface* ResponseLogCellAccessible::table() const
{
    return parent();
}

QString ResponseLogCellAccessible::text(QAccessible::Text type) const
{
    if (type != QAccessible::Name || !isValid())
        return {};
    if (isHeader())
        return m_table->columnDescription(m_column);
    // The whole text, however much of it the column shows.
    return m_table->view()->model().cell(m_row, m_column).toString();
}

QRect ResponseLogCellAccessible::rect() const
{
    if (!isValid())
        return {};
    const ResponseListView* log = m_table->view();
    const QHeaderView* header = log->header();
    const int x = header->sectionViewportPosition(m_column);
    const int width = header->sectionSize(m_column);
    if (isHeader())
        return {header->mapToGlobal(QPoint(x, 0)), QSize(width, header->height())};
    const int height = log->rowHeight();
    const int y = (m_row - log->verticalScrollBar()->value()) * height;
    return {log->viewport()->mapToGlobal(QPoint(x, y)), QSize(width, height)};
}

QAccessible::Role ResponseLogCellAccessible::role() const
{
    return isHeader() ? QAccessible::ColumnHeader : QAccessible::Cell;
}

QAccessible::State ResponseLogCellAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    if (isHeader())
        return state;
    const ResponseListView* log = m_table->view();
    state.selectable = true;
    state.focusable = true;
    state.selected = isSelected();
    // Of several selected rows, only the current one has the focus.
    state.focused = m_row == log->SelectedRow() - 1 && m_column == 0 && log->hasFocus();
    const int top = log->verticalScrollBar()->value();
    const int shown = (log->viewport()->height() + log->rowHeight() - 1) / log->rowHeight();
    state.offscreen = m_row < top || m_row >= top + shown;
    return state;
}

void* ResponseLogCellAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableCellInterface && !isHeader())
        return static_cast<QAccessibleTableCellInterface*>(this);
    return nullptr;
}

bool ResponseLogCellAccessible::isSelected() const
{
    return !isHeader() && m_table->isRowSelected(m_row);
}

QList<QAccessibleInterface*> ResponseLogCellAccessible::columnHeaderCells() const
{
    if (isHeader() || !isValid())
        return {};
    return {m_table->headerCell(m_column)};
}
