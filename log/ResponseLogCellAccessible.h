#pragma once

#include "ResponseLogAccessible.h"

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
