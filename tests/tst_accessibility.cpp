// The window as assistive technology reads it, asked through Qt's accessibility interfaces: the
// log as a table with its headers and every cell's whole text, the labels that name the boxes,
// and the time-out spinner's value.

#include "app/UpDown.h"
#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/CellText.h"
#include "log/ResponseListView.h"

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

using Rows = QList<QStringList>; // each row: its Command cell, then its Response cell

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QAccessibleTableInterface* tableOf(frmMain& w)
{
    QAccessibleInterface* log = accessible(w.lstResponse);
    return log ? log->tableInterface() : nullptr;
}

void addRows(ResponseListView* log, const Rows& rows)
{
    for (const QStringList& row : rows) {
        const int number = log->AddRow(row[0]);
        if (!row[1].isEmpty())
            log->SetResponse(number, row[1]);
        log->EnsureVisible(number);
    }
}

// The table's rows as its cells name them.
Rows cellTexts(QAccessibleTableInterface* table)
{
    Rows rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            QAccessibleInterface* cell = table->cellAt(row, column);
            cells << (cell ? cell->text(QAccessible::Name) : QStringLiteral("<no cell>"));
        }
        rows << cells;
    }
    return rows;
}

QList<QAccessibleInterface*> labelsOf(QObject* object)
{
    QList<QAccessibleInterface*> labels;
    for (const auto& relation : accessible(object)->relations(QAccessible::Label))
        labels << relation.first;
    return labels;
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void logIsATable_data();
    void logIsATable();
    void clearEmptiesTheTable();
    void cellsAreMadeOnceAndFoundByPlace();
    void selectedRowAndFocusedCell_data();
    void selectedRowAndFocusedCell();
    void assistiveTechnologySelectsARow();
    void labelsNameTheirBoxes_data();
    void labelsNameTheirBoxes();
    void spinnerAnswersWithItsValue_data();
    void spinnerAnswersWithItsValue();
    void chartDescribesItsReadings_data();
    void chartDescribesItsReadings();
};

void AccessibilityTest::logIsATable_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::newRow("empty log") << Rows{};
    QTest::newRow("command and reply")
        << Rows{{"*IDN?", ""}, {"03/25/2026 14:07:09.045", "12.5"}, {"", "-0.0001"}};
    QTest::newRow("notice row") << Rows{{"", "Data streaming canceled. "}};
    QTest::newRow("8-bit text") << Rows{{"", QStringLiteral("\u00b5V \u00b0C")}};
    QTest::newRow("long line cut in paint")
        << Rows{{"MEAS?", QString(5000, QLatin1Char('7'))}, {QString(400, QLatin1Char('W')), ""}};
}

void AccessibilityTest::logIsATable()
{
    QFETCH(Rows, rows);
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    addRows(w.lstResponse, rows);
    // The log paints its rows, long ones cut to their columns, before it is read.
    w.lstResponse->flushPendingRows();
    w.lstResponse->viewport()->repaint();

    QAccessibleInterface* log = accessible(w.lstResponse);
    QVERIFY(log);
    QCOMPARE(log->role(), QAccessible::Table);
    QVERIFY(accessible(w.Frame1)->indexOfChild(log) >= 0);
    QAccessibleTableInterface* table = log->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 2);
    QCOMPARE(table->rowCount(), rows.size());
    QCOMPARE(table->columnDescription(0), QStringLiteral("Command"));
    QCOMPARE(table->columnDescription(1), QStringLiteral("Response"));
    QCOMPARE(cellTexts(table), rows);
    if (QTest::currentDataTag() == QLatin1String("long line cut in paint")) {
        const QString& line = rows[0][1];
        QVERIFY(cellTextForWidth(line, w.lstResponse->fontMetrics(),
                                 w.lstResponse->columnWidth(1)) != line);
    }

    // Children: the two header cells, then the cells row by row.
    QCOMPARE(log->childCount(), 2 * (rows.size() + 1));
    QCOMPARE(log->child(0)->role(), QAccessible::ColumnHeader);
    QCOMPARE(log->child(0)->text(QAccessible::Name), QStringLiteral("Command"));
    QCOMPARE(log->child(1)->text(QAccessible::Name), QStringLiteral("Response"));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < 2; ++column) {
            QAccessibleInterface* cell = table->cellAt(row, column);
            QCOMPARE(cell->role(), QAccessible::Cell);
            QCOMPARE(cell->parent(), log);
            QCOMPARE(log->child(2 * (row + 1) + column), cell);
            QCOMPARE(log->indexOfChild(cell), 2 * (row + 1) + column);
            QAccessibleTableCellInterface* place = cell->tableCellInterface();
            QVERIFY(place);
            QCOMPARE(place->rowIndex(), row);
            QCOMPARE(place->columnIndex(), column);
            QCOMPARE(place->table(), log);
            const QList<QAccessibleInterface*> headers = place->columnHeaderCells();
            QCOMPARE(headers.size(), 1);
            QCOMPARE(headers[0], log->child(column));
        }
    }
    QCOMPARE(table->cellAt(rows.size(), 0), nullptr);
    QCOMPARE(table->cellAt(0, 2), nullptr);
}

void AccessibilityTest::clearEmptiesTheTable()
{
    frmMain w;
    addRows(w.lstResponse, {{"A", "1"}, {"B", "2"}});
    QAccessibleTableInterface* table = tableOf(w);
    QAccessibleInterface* before = table->cellAt(1, 1);
    QCOMPARE(before->text(QAccessible::Name), QStringLiteral("2"));

    w.cmdClear->setEnabled(true);
    w.cmdClear->click();
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->cellAt(0, 0), nullptr);
    QCOMPARE(accessible(w.lstResponse)->childCount(), 2);
    QVERIFY(!before->isValid());
    QVERIFY(before->state().invalid);

    addRows(w.lstResponse, {{"C", "3"}});
    QCOMPARE(cellTexts(table), (Rows{{"C", "3"}}));
}

void AccessibilityTest::cellsAreMadeOnceAndFoundByPlace()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Rows rows;
    for (int i = 0; i < 200; ++i)
        rows << QStringList{QStringLiteral("C%1").arg(i), QStringLiteral("R%1").arg(i)};
    addRows(w.lstResponse, rows);
    w.lstResponse->flushPendingRows();
    QAccessibleInterface* log = accessible(w.lstResponse);
    QAccessibleTableInterface* table = log->tableInterface();

    // The same cell is one object with one id, also after more rows came.
    QAccessibleInterface* last = table->cellAt(199, 1);
    const QAccessible::Id id = QAccessible::uniqueId(last);
    addRows(w.lstResponse, {{"C200", "R200"}});
    QCOMPARE(table->cellAt(199, 1), last);
    QCOMPARE(QAccessible::accessibleInterface(id), last);

    // The last rows are in view: their cells lie where the log paints them, and rows
    // scrolled away are off screen.
    QVERIFY(!last->state().offscreen);
    QVERIFY(table->cellAt(0, 0)->state().offscreen);
    w.lstResponse->flushPendingRows(); // the new row is shown
    for (QAccessibleInterface* cell : {last, table->cellAt(200, 0), log->child(0), log->child(1)}) {
        const QPoint middle = cell->rect().center();
        QCOMPARE(log->childAt(middle.x(), middle.y()), cell);
    }
}

void AccessibilityTest::selectedRowAndFocusedCell_data()
{
    QTest::addColumn<QList<int>>("keys");   // with their modifiers
    QTest::addColumn<int>("selected");      // the current row, counted from 0, -1 for none
    QTest::addColumn<QList<int>>("others"); // further selected rows
    QTest::newRow("nothing selected") << QList<int>{} << -1 << QList<int>{};
    QTest::newRow("first row") << QList<int>{Qt::Key_Home} << 0 << QList<int>{};
    QTest::newRow("last row") << QList<int>{Qt::Key_End} << 3 << QList<int>{};
    QTest::newRow("back up one") << QList<int>{Qt::Key_End, Qt::Key_Up} << 2 << QList<int>{};
    QTest::newRow("shift up twice from the last row")
        << QList<int>{Qt::Key_End, (Qt::SHIFT | Qt::Key_Up).toCombined(),
                      (Qt::SHIFT | Qt::Key_Up).toCombined()}
        << 1 << QList<int>{2, 3};
    QTest::newRow("ctrl+a keeps the current row")
        << QList<int>{Qt::Key_Home, Qt::Key_Down, (Qt::CTRL | Qt::Key_A).toCombined()} << 1
        << QList<int>{0, 2, 3};
}

void AccessibilityTest::selectedRowAndFocusedCell()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, selected);
    QFETCH(QList<int>, others);
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    addRows(w.lstResponse, {{"A?", ""}, {"", "1"}, {"B?", ""}, {"", "2"}});
    w.lstResponse->setFocus();
    for (int key : keys)
        QTest::keyClick(w.lstResponse, Qt::Key(key & ~Qt::KeyboardModifierMask),
                        Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));

    QAccessibleInterface* log = accessible(w.lstResponse);
    QAccessibleTableInterface* table = log->tableInterface();
    if (selected < 0) {
        QCOMPARE(table->selectedRows(), QList<int>{});
        QCOMPARE(table->selectedCellCount(), 0);
        QCOMPARE(log->focusChild(), nullptr);
        return;
    }
    QList<int> rows = others;
    rows.append(selected);
    std::sort(rows.begin(), rows.end());
    QCOMPARE(table->selectedRows(), rows);
    QCOMPARE(table->selectedRowCount(), rows.size());
    QList<QAccessibleInterface*> cells;
    for (int row : rows)
        cells << table->cellAt(row, 0) << table->cellAt(row, 1);
    QCOMPARE(table->selectedCells(), cells);
    QCOMPARE(log->focusChild(), table->cellAt(selected, 0));
    for (int row = 0; row < table->rowCount(); ++row) {
        const QAccessible::State command = table->cellAt(row, 0)->state();
        const QAccessible::State response = table->cellAt(row, 1)->state();
        QCOMPARE(bool(command.selected), rows.contains(row));
        QCOMPARE(bool(response.selected), rows.contains(row));
        QCOMPARE(bool(command.focused), row == selected);
        QVERIFY(!response.focused);
    }
    // Away from the log, the row stays selected but no cell has the focus.
    w.cboPort->setFocus();
    QVERIFY(!table->cellAt(selected, 0)->state().focused);
    QVERIFY(table->cellAt(selected, 0)->state().selected);
}

void AccessibilityTest::assistiveTechnologySelectsARow()
{
    frmMain w;
    addRows(w.lstResponse, {{"A", "1"}, {"B", "2"}, {"C", "3"}});
    QAccessibleTableInterface* table = tableOf(w);
    QVERIFY(table->selectRow(1));
    QCOMPARE(w.lstResponse->SelectedRow(), 2);
    QVERIFY(!table->selectRow(3));
    QVERIFY(!table->unselectRow(1));
    QCOMPARE(w.lstResponse->SelectedRow(), 2);
}

void AccessibilityTest::labelsNameTheirBoxes_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("box");
    QTest::newRow("command") << "Label1"
                             << "txtcmd";
    QTest::newRow("port") << "Label4"
                          << "cboPort";
    QTest::newRow("rate") << "Label5"
                          << "cboBaudRate";
    QTest::newRow("time-out box") << "Label3"
                                  << "txtTimeout";
    QTest::newRow("time-out spinner") << "Label3"
                                      << "spnTimeout";
}

void AccessibilityTest::labelsNameTheirBoxes()
{
    QFETCH(QString, label);
    QFETCH(QString, box);
    frmMain w;
    const QMap<QString, QWidget*> controls{
        {"Label1", w.Label1},           {"Label3", w.Label3},         {"Label4", w.Label4},
        {"Label5", w.Label5},           {"txtcmd", w.txtcmd},         {"cboPort", w.cboPort},
        {"cboBaudRate", w.cboBaudRate}, {"txtTimeout", w.txtTimeout}, {"spnTimeout", w.spnTimeout}};
    QWidget* labelWidget = controls[label];
    QWidget* boxWidget = controls[box];
    // The label beside it, and as for every control the frame around it.
    QCOMPARE(labelsOf(boxWidget),
             (QList<QAccessibleInterface*>{accessible(labelWidget), accessible(w.Frame2)}));
    QCOMPARE(labelWidget->parentWidget(), w.Frame2);
}

void AccessibilityTest::spinnerAnswersWithItsValue_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("argument");
    QTest::addColumn<int>("value");
    QTest::newRow("as the window starts") << "none" << 0 << 5;
    QTest::newRow("set") << "set" << 12 << 12;
    QTest::newRow("set below the minimum") << "set" << 0 << 1;
    QTest::newRow("set above the maximum") << "set" << 150 << 99;
    QTest::newRow("increase") << "increase" << 0 << 6;
    QTest::newRow("decrease") << "decrease" << 0 << 4;
    QTest::newRow("up arrow key") << "key up" << 0 << 6;
    QTest::newRow("down arrow key") << "key down" << 0 << 4;
}

void AccessibilityTest::spinnerAnswersWithItsValue()
{
    QFETCH(QString, action);
    QFETCH(int, argument);
    QFETCH(int, value);
    frmMain w;
    QAccessibleInterface* spinner = accessible(w.spnTimeout);
    QCOMPARE(spinner->role(), QAccessible::SpinBox);
    QAccessibleValueInterface* number = spinner->valueInterface();
    QVERIFY(number);
    QCOMPARE(number->minimumValue(), QVariant(1));
    QCOMPARE(number->maximumValue(), QVariant(99));
    QCOMPARE(number->minimumStepSize(), QVariant(1));

    if (action == "set")
        number->setCurrentValue(argument);
    else if (action == "increase" || action == "decrease")
        spinner->actionInterface()->doAction(action == "increase"
                                                 ? QAccessibleActionInterface::increaseAction()
                                                 : QAccessibleActionInterface::decreaseAction());
    else if (action.startsWith("key"))
        QTest::keyClick(w.spnTimeout, action == "key up" ? Qt::Key_Up : Qt::Key_Down);

    QCOMPARE(number->currentValue(), QVariant(value));
    QCOMPARE(spinner->text(QAccessible::Value), QString::number(value));
    QCOMPARE(w.txtTimeout->text(), QString::number(value));
    QCOMPARE(w.state().TimeoutSeconds, value);
}

void AccessibilityTest::chartDescribesItsReadings_data()
{
    // Rows of the log: "> COMMAND" a command row, "(Clear)" the log cleared, anything else a
    // reply row; the rows are a second apart from 09:05:00.007 on, so that the last of five is
    // at 09:05:04.007.
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("hidden"); // series hidden in the legend
    QTest::addColumn<QString>("description");
    QTest::newRow("no readings") << QStringList{"> ID?", "Baroventis BV-SIM 100"} << QList<int>{}
                                 << "No readings yet.";
    QTest::newRow("one series")
        << QStringList{"> TEMP?", "23.5", "> TEMP?", "23.25", "24"} << QList<int>{}
        << "TEMP?: 3 readings, latest 24 at 12/25/2026 09:05:04.007, lowest 23.25, highest 24.";
    QTest::newRow("unsolicited first, then a command")
        << QStringList{"-1E-05", "> READ?", "0.004567", "12.5 V", "0.0045"} << QList<int>{}
        << "Unsolicited: 1 reading, latest -1E-05 at 12/25/2026 09:05:00.007, lowest -1E-05, "
           "highest -1E-05. READ?: 2 readings, latest 0.0045 at 12/25/2026 09:05:04.007, lowest "
           "0.0045, highest 0.004567.";
    QTest::newRow("a hidden series is left out")
        << QStringList{"7", "> READ?", "0.5"} << QList<int>{0}
        << "READ?: 1 reading, latest 0.5 at 12/25/2026 09:05:02.007, lowest 0.5, highest 0.5.";
    QTest::newRow("every series hidden")
        << QStringList{"7", "> READ?", "0.5"} << QList<int>{0, 1} << "No readings are shown.";
    QTest::newRow("cleared") << QStringList{"> TEMP?", "23.5", "(Clear)"} << QList<int>{}
                             << "No readings yet.";
    QTest::newRow("cleared, then a reply that is no reading")
        << QStringList{"> TEMP?", "23.5", "(Clear)", "OK"} << QList<int>{} << "No readings yet.";
    QTest::newRow("cleared, then a reading")
        << QStringList{"> TEMP?", "23.5", "(Clear)", "24"} << QList<int>{}
        << "Unsolicited: 1 reading, latest 24 at 12/25/2026 09:05:03.007, lowest 24, highest 24.";
}

void AccessibilityTest::chartDescribesItsReadings()
{
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, hidden);
    QFETCH(QString, description);
    const QLocale before;
    QLocale::setDefault(QLocale::c()); // time stamps with "/" and ":"
    const qint64 start = QDateTime(QDate(2026, 12, 25), QTime(9, 5, 0, 7)).toMSecsSinceEpoch();
    frmMain w;
    ResponseLogModel& log = w.lstResponse->model();
    w.mnuChart->trigger();
    auto* chart = w.chartWindow();
    QVERIFY(chart);
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i] == QLatin1String("(Clear)")) {
            chart->updateNow(); // the chart has taken the rows before
            w.lstResponse->Clear();
            continue;
        }
        const bool command = rows[i].startsWith("> ");
        const int row = log.append(command ? rows[i].mid(2) : QString(),
                                   command ? RowKind::Command : RowKind::Reply, start + i * 1000);
        if (!command)
            log.setResponse(row, rows[i]);
    }
    chart->updateNow();
    for (int series : hidden)
        chart->line(series)->setVisible(false);
    QAccessibleInterface* window = accessible(chart);
    QVERIFY(window);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Chart of Readings"));
    QCOMPARE(window->text(QAccessible::Description), description);
    QLocale::setDefault(before);
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
