// What the window reports to assistive technology while one is active: rows added, data set and
// Clear in the log, the selection moving in it, the time-out spinner's value changing, and new
// readings in the chart. Qt
// sends such reports only while its accessibility bridge is active, which offscreen never is:
// this test runs on a virtual X display with the accessibility bus (accessibility/with-atspi.sh)
// and records the reports instead of passing them to the bus.

#include "app/UpDown.h"
#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"
#include "run/RunStatusLine.h"

#include <QAccessible>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

QStringList g_events;
QList<QObject*> g_watched;

// The report as text: the table changes with their rows, the cells focused or selected with
// their text, the values.
QString describe(QAccessibleEvent* event)
{
    switch (event->type()) {
    case QAccessible::TableModelChanged: {
        const auto* change = static_cast<QAccessibleTableModelChangeEvent*>(event);
        switch (change->modelChangeType()) {
        case QAccessibleTableModelChangeEvent::RowsInserted:
            return QStringLiteral("rows inserted %1..%2")
                .arg(change->firstRow())
                .arg(change->lastRow());
        case QAccessibleTableModelChangeEvent::DataChanged:
            return QStringLiteral("data changed %1..%2 columns %3..%4")
                .arg(change->firstRow())
                .arg(change->lastRow())
                .arg(change->firstColumn())
                .arg(change->lastColumn());
        case QAccessibleTableModelChangeEvent::ModelReset:
            return QStringLiteral("model reset");
        default:
            return QStringLiteral("table change %1").arg(change->modelChangeType());
        }
    }
    case QAccessible::Focus:
    case QAccessible::Selection: {
        QAccessibleInterface* target = event->accessibleInterface();
        const QString kind = event->type() == QAccessible::Focus ? "focus" : "selection";
        if (!target)
            return kind + " on nothing";
        if (target->role() == QAccessible::Table)
            return kind + " table";
        const QAccessibleTableCellInterface* cell = target->tableCellInterface();
        return QStringLiteral("%1 cell %2,%3 \"%4\"")
            .arg(kind)
            .arg(cell ? cell->rowIndex() : -2)
            .arg(cell ? cell->columnIndex() : -2)
            .arg(target->text(QAccessible::Name));
    }
    case QAccessible::SelectionWithin:
        return QStringLiteral("selection within table");
    case QAccessible::DescriptionChanged:
        return QStringLiteral("description changed");
    case QAccessible::NameChanged:
        return QStringLiteral("name \"%1\"")
            .arg(event->accessibleInterface()->text(QAccessible::Name));
    case QAccessible::ValueChanged:
        return QStringLiteral("value %1")
            .arg(static_cast<QAccessibleValueChangeEvent*>(event)->value().toString());
    default:
        return {};
    }
}

void record(QAccessibleEvent* event)
{
    if (!g_watched.contains(event->object()))
        return;
    const QString text = describe(event);
    if (!text.isEmpty())
        g_events << text;
}

// Runs the steps on the window: "add TEXT" adds a row, "reply N TEXT" sets row N's response,
// "clear" presses Clear, "focus" gives the log the focus, "away" moves it to the port list,
// "key K" presses the keys K (such as Up or Shift+End) in the log, "fill N" adds N rows at
// once, "pick N" selects row N (from 0) as
// assistive technology does, and "events" handles the window's pending events.
void run(frmMain& w, const QStringList& steps)
{
    ResponseListView* log = w.lstResponse;
    for (const QString& step : steps) {
        const QString verb = step.section(' ', 0, 0);
        const QString rest = step.section(' ', 1);
        if (verb == "add") {
            log->EnsureVisible(log->AddRow(rest));
        } else if (verb == "reply") {
            log->SetResponse(rest.section(' ', 0, 0).toInt(), rest.section(' ', 1));
        } else if (verb == "clear") {
            w.cmdClear->setEnabled(true);
            w.cmdClear->click();
        } else if (verb == "focus") {
            log->setFocus();
        } else if (verb == "away") {
            w.cboPort->setFocus();
        } else if (verb == "key") {
            QTest::keySequence(log, QKeySequence::fromString(rest));
        } else if (verb == "fill") {
            for (int i = rest.toInt(); i > 0; --i)
                log->AddRow(QString::number(i));
            log->flushPendingRows();
        } else if (verb == "pick") {
            QAccessible::queryAccessibleInterface(log)->tableInterface()->selectRow(rest.toInt());
        } else if (verb == "events") {
            QCoreApplication::processEvents();
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
}

// Shows the window with the focus in it. The virtual display has no window manager that would
// activate it.
void show(frmMain& w)
{
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

} // namespace

class AccessibilityBridgeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void logReportsItsChanges_data();
    void logReportsItsChanges();
    void clearDropsTheCellsHandedOut();
    void spinnerReportsItsValue_data();
    void spinnerReportsItsValue();
    void chartReportsItsReadings();
    void runStatusIsAnnouncedWhenAsked();
};

void AccessibilityBridgeTest::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    // The bridge switches itself on once it has reached the accessibility bus.
    QTRY_VERIFY2_WITH_TIMEOUT(QAccessible::isActive(),
                              "Qt's accessibility bridge did not become active: run this test "
                              "through tests/accessibility/with-atspi.sh",
                              20000);
    QAccessible::installUpdateHandler(record);
}

void AccessibilityBridgeTest::cleanupTestCase()
{
    QAccessible::installUpdateHandler(nullptr);
}

void AccessibilityBridgeTest::logReportsItsChanges_data()
{
    QTest::addColumn<QStringList>("before"); // steps not watched
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("a command and its reply")
        << QStringList{} << QStringList{"add *IDN?", "add ", "reply 2 12.5"}
        << QStringList{"rows inserted 0..0", "rows inserted 1..1",
                       "data changed 1..1 columns 1..1"};
    QTest::newRow("clear") << QStringList{"add A", "add B"} << QStringList{"clear", "add C"}
                           << QStringList{"model reset", "rows inserted 0..0"};
    QTest::newRow("selection moves in the focused log")
        << QStringList{"add A", "add B", "add C", "focus", "events"}
        << QStringList{"key End", "key Up", "key Home", "key Up"}
        << QStringList{"selection cell 2,0 \"C\"", "focus cell 2,0 \"C\"",
                       "selection cell 1,0 \"B\"", "focus cell 1,0 \"B\"",
                       "selection cell 0,0 \"A\"", "focus cell 0,0 \"A\""};
    QTest::newRow("shift extends the selection in the focused log")
        << QStringList{"add A", "add B", "add C", "focus", "key End", "events"}
        << QStringList{"key Shift+Up", "key Shift+Up", "key Down"}
        << QStringList{"selection within table",   "focus cell 1,0 \"B\"",
                       "selection within table",   "focus cell 0,0 \"A\"",
                       "selection cell 1,0 \"B\"", "focus cell 1,0 \"B\""};
    QTest::newRow("ctrl+a on many rows: one report, the focus where it was")
        << QStringList{"fill 20000", "focus", "key End", "events"} << QStringList{"key Ctrl+A"}
        << QStringList{"selection within table"};
    QTest::newRow("selection moves while the focus is elsewhere")
        << QStringList{"add A", "add B", "away", "events"} << QStringList{"pick 1", "pick 1"}
        << QStringList{"selection cell 1,0 \"B\""};
    QTest::newRow("focus comes to the log with a row selected")
        << QStringList{"add A", "add B", "pick 1", "away", "events"}
        << QStringList{"focus", "events"} << QStringList{"focus table", "focus cell 1,0 \"B\""};
    QTest::newRow("focus comes to the log with nothing selected")
        << QStringList{"add A", "away", "events"} << QStringList{"focus", "events"}
        << QStringList{"focus table"};
}

void AccessibilityBridgeTest::logReportsItsChanges()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);
    frmMain w;
    show(w);
    run(w, before);
    g_watched = {w.lstResponse};
    g_events.clear();
    run(w, steps);
    g_watched.clear();
    QCOMPARE(g_events, events);
}

void AccessibilityBridgeTest::clearDropsTheCellsHandedOut()
{
    frmMain w;
    run(w, {"add A", "reply 1 1", "add B"});
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(w.lstResponse)->tableInterface();
    const QAccessible::Id first = QAccessible::uniqueId(table->cellAt(0, 1));
    const QAccessible::Id header = QAccessible::uniqueId(
        table->cellAt(0, 1)->tableCellInterface()->columnHeaderCells().first());
    run(w, {"add C"});
    QCOMPARE(QAccessible::accessibleInterface(first), table->cellAt(0, 1));
    run(w, {"clear"});
    QCOMPARE(QAccessible::accessibleInterface(first), nullptr);
    QVERIFY(QAccessible::accessibleInterface(header));
    run(w, {"add D"});
    QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("D"));
}

void AccessibilityBridgeTest::spinnerReportsItsValue_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("up twice") << QList<int>{Qt::Key_Up, Qt::Key_Up}
                              << QStringList{"value 6", "value 7"};
    QTest::newRow("down") << QList<int>{Qt::Key_Down} << QStringList{"value 4"};
    QTest::newRow("other keys") << QList<int>{Qt::Key_Left, Qt::Key_A} << QStringList{};
}

void AccessibilityBridgeTest::spinnerReportsItsValue()
{
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, events);
    frmMain w;
    show(w);
    g_watched = {w.spnTimeout};
    g_events.clear();
    for (int key : keys)
        QTest::keyClick(w.spnTimeout, Qt::Key(key));
    // At the bounds nothing changes and nothing is reported.
    w.spnTimeout->setValue(99);
    w.spnTimeout->stepBy(1);
    w.spnTimeout->setValue(1);
    w.spnTimeout->stepBy(-1);
    g_watched.clear();
    QCOMPARE(g_events, events + QStringList({"value 99", "value 1"}));
}

void AccessibilityBridgeTest::chartReportsItsReadings()
{
    frmMain w;
    show(w);
    w.mnuChart->trigger();
    auto* chart = w.chartWindow();
    QVERIFY(chart);
    const auto reply = [&w](const QString& text) {
        w.lstResponse->SetResponse(w.lstResponse->AddRow(QString()), text);
    };
    g_watched = {chart};
    g_events.clear();
    // Readings that come within one frame are reported once, when the chart takes them in.
    reply("1");
    reply("2");
    reply("3");
    QTRY_COMPARE(g_events, QStringList{"description changed"});
    chart->updateNow();
    reply("12.5 V"); // no reading
    chart->updateNow();
    QCOMPARE(g_events, QStringList{"description changed"});
    reply("4");
    chart->updateNow();
    run(w, {"clear"});
    g_watched.clear();
    QCOMPARE(g_events, QStringList(3, "description changed"));
}

void AccessibilityBridgeTest::runStatusIsAnnouncedWhenAsked()
{
    // A run's start, end and faults are heard; the figures after every reply are not.
    RunStatusLine status;
    status.show();
    g_watched = {&status};
    g_events.clear();
    status.setStatus(QStringLiteral("Running: 0 cycles done."), true);
    status.setStatus(QStringLiteral("Running: 1 cycles done."), false);
    status.setStatus(QStringLiteral("Stopped (Stop pressed): 1 cycles done."), true);
    g_watched.clear();
    QCOMPARE(g_events, (QStringList{"name \"Running: 0 cycles done.\"",
                                    "name \"Stopped (Stop pressed): 1 cycles done.\""}));
}

QTEST_MAIN(AccessibilityBridgeTest)
#include "tst_accessibility_bridge.moc"
