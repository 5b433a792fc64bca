#pragma once

#include <QAccessibleWidget>

#include <map>
#include <utility>

class ResponseListView;
class ResponseLogCellAccessible;

// Makes the log readable by assistive technology: installs the accessibility factory that
// answers for every ResponseListView with a ResponseLogAccessible table, and reports the view's
// changes (rows added, Clear, the selection moving) as accessibility events. Called by the view
// itself when it is made; while no assistive technology is active the reports cost one check.
void makeResponseLogAccessible(ResponseListView* view);

// The log as assistive technology sees it: a table of two columns headed "Command" and
// "Response", one row per log row, each cell holding its whole text. Its children are the two
// header cells followed by the cells row by row; cells are made only when asked for and kept
// until their rows go, so that a log of millions of rows costs nothing until it is read.
class ResponseLogAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ResponseLogAccessible(ResponseListView* view);
    ~ResponseLogAccessible() override;

    // QAccessibleInterface
    QAccessible::Role role() const override { return QAccessible::Table; }
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    // The header cell of a column: row -1.
    QAccessibleInterface* headerCell(int column) const;
    // The index among the children of the cell at `row` (-1 for the header) and `column`.
    static int childIndex(int row, int column);
    // The view while it is alive and not being destroyed, else null.
    ResponseListView* view() const;

private:
    // Cell interfaces handed out so far, by row (-1 for the header) and column, as ids of the
    // accessibility cache, which owns them.
    using CellKey = std::pair<int, int>;
    QAccessibleInterface* cell(int row, int column) const;
    void forgetCells(int fromRow, int toRow); // rows counted from 0, both included
    void shiftCells(int fromRow, int by);

    mutable std::map<CellKey, QAccessible::Id> m_cells;
};
