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

// One cell of the log, or with row -1 one of its column headers: its whole text as name.
class ResponseLogCellAccessible : public QAccessibleInterface,
                                  public QAccessibleTableCellInterface {
public:
    ResponseLogCellAccessible(const ResponseLogAccessible* table, int row, int column)
        : m_table(table), m_row(row), m_column(column)
    {
    }

    // QAccessibleInterface
    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_table->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTableCellInterface
    bool isSelected() const override;
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

    const ResponseLogAccessible* logTable() const { return m_table; }
    void moveToRow(int row) { m_row = row; }

private:
    bool isHeader() const { return m_row < 0; }

    // The table owns its cells' lifetime: it deletes them before it goes itself.
    const ResponseLogAccessible* m_table = nullptr;
    int m_row = 0;
    int m_column = 0;
};
