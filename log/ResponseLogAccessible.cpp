// The response log as a table for assistive technology: the factory that answers for the log's
// view, the reports of its changes (rows added, Clear, the selection moving), and the table's
// rows, columns and selection. Its cells are in ResponseLogCellAccessible.cpp.

#include "ResponseLogAccessible.h"
#include "ResponseListView.h"
#include "ResponseLogCellAccessible.h"

#include <QHeaderView>
#include <QMetaObject>
#include <QScrollBar>

#include <climits>
#include <vector>

namespace {

constexpr int Columns = 2;

QAccessibleInterface* logFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(ResponseListView::staticMetaObject.className()) &&
        object->isWidgetType())
        return new ResponseLogAccessible(static_cast<ResponseListView*>(object));
    return nullptr;
}

// Reports the log's changes to assistive technology while one is active. With none active
// each change costs one check, and no accessibility object is made.
class ResponseLogEvents : public QObject {
public:
    explicit ResponseLogEvents(ResponseListView* view) : QObject(view), m_view(view)
    {
        const ResponseLogModel* model = &view->model();
        connect(model, &QAbstractItemModel::rowsInserted, this, &ResponseLogEvents::rowsInserted);
        connect(model, &QAbstractItemModel::dataChanged, this, &ResponseLogEvents::dataChanged);
        connect(model, &QAbstractItemModel::modelReset, this, &ResponseLogEvents::modelReset);
        connect(view, &ResponseListView::selectionMoved, this, &ResponseLogEvents::selectionMoved);
        connect(view, &ResponseListView::selectionExtended, this,
                &ResponseLogEvents::selectionExtended);
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The window reports the log itself as focused after the log has taken the focus;
        // the selected row's cell is reported after that, so that it is what is read.
        if (event->type() == QEvent::FocusIn && watched == m_view && QAccessible::isActive())
            QMetaObject::invokeMethod(this, &ResponseLogEvents::focusSelectedCell,
                                      Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    void rowsInserted(const QModelIndex&, int first, int last)
    {
        if (!QAccessible::isActive())
            return;
        QAccessibleTableModelChangeEvent event(m_view,
                                               QAccessibleTableModelChangeEvent::RowsInserted);
        event.setFirstRow(first);
        event.setLastRow(last);
        QAccessible::updateAccessibility(&event);
    }

    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
    {
        if (!QAccessible::isActive())
            return;
        QAccessibleTableModelChangeEvent event(m_view,
                                               QAccessibleTableModelChangeEvent::DataChanged);
        event.setFirstRow(topLeft.row());
        event.setLastRow(bottomRight.row());
        event.setFirstColumn(topLeft.column());
        event.setLastColumn(bottomRight.column());
        QAccessible::updateAccessibility(&event);
    }

    void modelReset()
    {
        if (!QAccessible::isActive())
            return;
        QAccessibleTableModelChangeEvent event(m_view,
                                               QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&event);
    }

    // `row` counted from 1.
    void selectionMoved(int row)
    {
        if (!QAccessible::isActive() || row < 1)
            return;
        const int child = ResponseLogAccessible::childIndex(row - 1, 0);
        QAccessibleEvent selection(m_view, QAccessible::Selection);
        selection.setChild(child);
        QAccessible::updateAccessibility(&selection);
        if (m_view->hasFocus()) {
            QAccessibleEvent focus(m_view, QAccessible::Focus);
            focus.setChild(child);
            QAccessible::updateAccessibility(&focus);
        }
    }

    // Several rows may be selected: one report for the whole table, however many rows, and
    // the focus on the current row's Command cell when it moved.
    void selectionExtended(int row, bool moved)
    {
        if (!QAccessible::isActive())
            return;
        QAccessibleEvent within(m_view, QAccessible::SelectionWithin);
        QAccessible::updateAccessibility(&within);
        if (moved && row >= 1 && m_view->hasFocus()) {
            QAccessibleEvent focus(m_view, QAccessible::Focus);
            focus.setChild(ResponseLogAccessible::childIndex(row - 1, 0));
            QAccessible::updateAccessibility(&focus);
        }
    }

    void focusSelectedCell()
    {
        if (!QAccessible::isActive() || !m_view->hasFocus() || m_view->SelectedRow() < 1)
            return;
        QAccessibleEvent focus(m_view, QAccessible::Focus);
        focus.setChild(ResponseLogAccessible::childIndex(m_view->SelectedRow() - 1, 0));
        QAccessible::updateAccessibility(&focus);
    }

    ResponseListView* m_view = nullptr;
};

} // namespace

void makeResponseLogAccessible(ResponseListView* view)
{
    static const bool installed = [] {
        QAccessible::installFactory(logFactory);
        return true;
    }();
    Q_UNUSED(installed);
    new ResponseLogEvents(view);
}

// ---------------------------------------------------------------------------------------------

ResponseLogAccessible::ResponseLogAccessible(ResponseListView* view)
    : QAccessibleWidget(view, QAccessible::Table)
{
}

ResponseLogAccessible::~ResponseLogAccessible()
{
    for (const auto& entry : m_cells)
        QAccessible::deleteAccessibleInterface(entry.second);
}

ResponseListView* ResponseLogAccessible::view() const
{
    // A view being destroyed has lost its rows already: nothing of it is read then.
    return QAccessibleWidget::isValid() ? static_cast<ResponseListView*>(widget()) : nullptr;
}

int ResponseLogAccessible::childIndex(int row, int column)
{
    return (row + 1) * Columns + column;
}

int ResponseLogAccessible::childCount() const
{
    return view() ? (rowCount() + 1) * Columns : 0;
}

QAccessibleInterface* ResponseLogAccessible::child(int index) const
{
    if (index < 0)
        return nullptr;
    return cell(index / Columns - 1, index % Columns);
}

int ResponseLogAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* cell = dynamic_cast<const ResponseLogCellAccessible*>(child);
    if (!cell || cell->logTable() != this || !cell->isValid())
        return -1;
    return childIndex(cell->rowIndex(), cell->columnIndex());
}

QAccessibleInterface* ResponseLogAccessible::childAt(int x, int y) const
{
    const ResponseListView* log = view();
    if (!log)
        return nullptr;
    const QPoint global(x, y);
    const QPoint inViewport = log->viewport()->mapFromGlobal(global);
    if (log->viewport()->rect().contains(inViewport)) {
        const int row = log->verticalScrollBar()->value() + inViewport.y() / log->rowHeight();
        return cell(row, log->header()->logicalIndexAt(inViewport.x()));
    }
    const QPoint inHeader = log->header()->mapFromGlobal(global);
    if (log->header()->rect().contains(inHeader))
        return cell(-1, log->header()->logicalIndexAt(inHeader.x()));
    return nullptr;
}

QAccessibleInterface* ResponseLogAccessible::focusChild() const
{
    const ResponseListView* log = view();
    return log && log->SelectedRow() > 0 ? cell(log->SelectedRow() - 1, 0) : nullptr;
}

void* ResponseLogAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* ResponseLogAccessible::cell(int row, int column) const
{
    if (column < 0 || column >= Columns || row < -1 || row >= rowCount())
        return nullptr;
    const CellKey key(row, column);
    const auto found = m_cells.find(key);
    if (found != m_cells.end()) {
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(found->second))
            return known;
        m_cells.erase(found);
    }
    auto* made = new ResponseLogCellAccessible(this, row, column);
    m_cells.emplace(key, QAccessible::registerAccessibleInterface(made));
    return made;
}

QAccessibleInterface* ResponseLogAccessible::headerCell(int column) const
{
    return cell(-1, column);
}

QAccessibleInterface* ResponseLogAccessible::cellAt(int row, int column) const
{
    return row >= 0 ? cell(row, column) : nullptr;
}

int ResponseLogAccessible::selectedCellCount() const
{
    return selectedRowCount() * Columns;
}

QList<QAccessibleInterface*> ResponseLogAccessible::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows())
        for (int column = 0; column < Columns; ++column)
            cells.append(cell(row, column));
    return cells;
}

QString ResponseLogAccessible::columnDescription(int column) const
{
    const ResponseListView* log = view();
    if (!log || column < 0 || column >= Columns)
        return {};
    return log->header()->model()->headerData(column, Qt::Horizontal).toString();
}

int ResponseLogAccessible::selectedRowCount() const
{
    const ResponseListView* log = view();
    return log ? log->selection().count() : 0;
}

int ResponseLogAccessible::columnCount() const
{
    return view() ? Columns : 0;
}

int ResponseLogAccessible::rowCount() const
{
    const ResponseListView* log = view();
    return log ? log->Count() : 0;
}

QList<int> ResponseLogAccessible::selectedRows() const
{
    const ResponseListView* log = view();
    if (!log)
        return {};
    QList<int> rows;
    for (const RowSelection::Range& range : log->selection().ranges())
        for (int row = range.first; row <= range.second; ++row)
            rows.append(row);
    return rows;
}

bool ResponseLogAccessible::isRowSelected(int row) const
{
    const ResponseListView* log = view();
    return log && row >= 0 && log->selection().contains(row);
}

bool ResponseLogAccessible::selectRow(int row)
{
    ResponseListView* log = view();
    if (!log || row < 0 || row >= log->Count())
        return false;
    log->select(row);
    return true;
}

void ResponseLogAccessible::modelChange(QAccessibleTableModelChangeEvent* event)
{
    const int first = event->firstRow();
    const int last = event->lastRow();
    switch (event->modelChangeType()) {
    case QAccessibleTableModelChangeEvent::ModelReset:
        forgetCells(0, INT_MAX);
        break;
    case QAccessibleTableModelChangeEvent::RowsInserted:
        if (first >= 0 && last >= first)
            shiftCells(first, last - first + 1);
        break;
    case QAccessibleTableModelChangeEvent::RowsRemoved:
        if (first >= 0 && last >= first) {
            forgetCells(first, last);
            shiftCells(last + 1, -(last - first + 1));
        }
        break;
    default:
        // Cells read their text when asked, and the columns never change.
        break;
    }
}

void ResponseLogAccessible::forgetCells(int fromRow, int toRow)
{
    auto it = m_cells.lower_bound(CellKey(fromRow, INT_MIN));
    while (it != m_cells.end() && it->first.first <= toRow) {
        QAccessible::deleteAccessibleInterface(it->second);
        it = m_cells.erase(it);
    }
}

void ResponseLogAccessible::shiftCells(int fromRow, int by)
{
    // New rows are added at the end, below every cell handed out so far: nothing moves then.
    const auto from = m_cells.lower_bound(CellKey(fromRow, INT_MIN));
    if (from == m_cells.end())
        return;
    std::vector<std::pair<CellKey, QAccessible::Id>> moved(from, m_cells.end());
    m_cells.erase(from, m_cells.end());
    for (auto& [key, id] : moved) {
        key.first += by;
        if (auto* cell =
                static_cast<ResponseLogCellAccessible*>(QAccessible::accessibleInterface(id)))
            cell->moveToRow(key.first);
        m_cells.emplace(key, id);
    }
}
