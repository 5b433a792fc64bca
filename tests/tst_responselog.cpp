// The response log: its rows, the operations the handlers use, Clear, and the view that must
// stay cheap however long the log grows.

#include "app/frmMain.h"
#include "log/CellText.h"
#include "log/FrameClock.h"
#include "log/ResponseListView.h"
#include "log/RowSelection.h"
#include "log/StreamingColors.h"
#include "log/TextArena.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <optional>

namespace {

// Shows the log on its own at the given size and waits until it is on the screen.
bool shown(ResponseListView& log, int width, int height)
{
    log.resize(width, height);
    log.show();
    return QTest::qWaitForWindowExposed(&log);
}

// Whether what the frames left on the screen is what painting the view afresh shows.
bool screenShowsAfresh(QWidget& view)
{
    const QImage onScreen = view.screen()->grabWindow(view.winId()).toImage();
    const QImage afresh = view.grab().toImage().convertToFormat(onScreen.format());
    return onScreen == afresh;
}

// A frame clock whose time the test moves on: a wake-up asked for a time that has come is
// due at the next turn of the event loop, one asked for later when the time is moved there.
class ManualFrameClock : public FrameClock {
public:
    qint64 now() const override { return m_now; }
    void wakeAt(qint64 at) override
    {
        m_wakeAt = at;
        if (at <= m_now)
            QMetaObject::invokeMethod(this, &ManualFrameClock::wakeIfDue, Qt::QueuedConnection);
    }
    void cancelWake() override { m_wakeAt.reset(); }
    // Moves the time on to `time`, waking the view at each wake-up on the way.
    void moveTo(qint64 time)
    {
        while (m_wakeAt && *m_wakeAt <= time) {
            m_now = std::max(m_now, *m_wakeAt);
            wakeIfDue();
        }
        m_now = time;
    }

private:
    void wakeIfDue()
    {
        if (m_wakeAt && *m_wakeAt <= m_now) {
            m_wakeAt.reset();
            emit due();
        }
    }

    qint64 m_now = 1000000;
    std::optional<qint64> m_wakeAt;
};

// Keeps the areas a widget was asked to paint.
class PaintLog : public QObject {
public:
    std::vector<QRect> areas;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            areas.push_back(static_cast<QPaintEvent*>(event)->rect());
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class ResponseLogTest : public QObject {
    Q_OBJECT
private slots:
    void arenaKeepsEveryText_data();
    void arenaKeepsEveryText();
    void rowsReadBackInOrder_data();
    void rowsReadBackInOrder();
    void responseOfAnEarlierRow();
    void rowsKeepTheirKindAndTime_data();
    void rowsKeepTheirKindAndTime();
    void clearEmptiesTheLog();
    void framesGatherTheRows_data();
    void framesGatherTheRows();
    void bringIntoViewShowsTheRow_data();
    void bringIntoViewShowsTheRow();
    void copyTakesTheSelectedRows_data();
    void copyTakesTheSelectedRows();
    void selectionKeepsRanges_data();
    void selectionKeepsRanges();
    void readingBackWhileRowsArrive_data();
    void readingBackWhileRowsArrive();
    void clearDisablesSaveAndKeepsTheRest();
    void clearOnEmptyLog();
    void streamingColourDiffersFromWhite();
    void longCellsAreCut_data();
    void longCellsAreCut();
    void toolTipOfALongCell_data();
    void toolTipOfALongCell();
};

void ResponseLogTest::arenaKeepsEveryText_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("empty and short") << QStringList{"", "a", "", "bc"};
    QTest::newRow("longer than a block")
        << QStringList{"x", QString(70000, QLatin1Char('L')), "after", QString(65536, 'M'), "y"};
    QStringList many;
    for (int i = 0; i < 20000; ++i)
        many << QStringLiteral("text %1 \u00e9\u4e2d").arg(i);
    QTest::newRow("many, across blocks, not Latin-1") << many;
    // Around the length from which a text gets a block of its own; the shorter texts after
    // one still go on filling the shared block.
    QStringList edges;
    for (int length : {65534, 65535, 65536, 1})
        edges << QString(length, QChar('a' + length % 26)) << QStringLiteral("s%1").arg(length);
    QTest::newRow("at the own-block length") << edges;
    QTest::newRow("a shared block filled to the last character")
        << QStringList{QString(65530, 'F'), "12345", "6", "next"};
}

void ResponseLogTest::arenaKeepsEveryText()
{
    QFETCH(QStringList, texts);
    TextArena arena;
    std::vector<TextArena::Span> spans;
    for (const QString& text : texts)
        spans.push_back(arena.store(text));
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(arena.text(spans[size_t(i)]), texts[i]);
}

void ResponseLogTest::rowsReadBackInOrder_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("responses");
    QTest::newRow("command then two replies")
        << QStringList{"ID", "", ""} << QStringList{"", "BV-100", "OK"};
    QTest::newRow("empty row") << QStringList{""} << QStringList{""};
    QTest::newRow("time-stamped reply")
        << QStringList{"03/25/2026 14:07:09.045"} << QStringList{"12.5"};
    QTest::newRow("commas and line breaks kept")
        << QStringList{"a,b", "x\ny"} << QStringList{"1,2", ""};
}

void ResponseLogTest::rowsReadBackInOrder()
{
    QFETCH(QStringList, commands);
    QFETCH(QStringList, responses);
    ResponseListView log;
    for (int i = 0; i < commands.size(); ++i) {
        const int row = log.AddRow(commands[i]);
        QCOMPARE(row, i + 1);
        QCOMPARE(log.Row(row).Response, QString()); // a new row's Response cell is empty
        if (!responses[i].isEmpty())
            log.SetResponse(row, responses[i]);
    }
    QCOMPARE(log.Count(), commands.size());
    for (int i = 0; i < commands.size(); ++i) {
        QCOMPARE(log.Row(i + 1).Command, commands[i]);
        QCOMPARE(log.Row(i + 1).Response, responses[i]);
    }
    // The model shows the same cells in its two columns.
    QCOMPARE(log.model().columnCount(), 2);
    QCOMPARE(log.model().headerData(0, Qt::Horizontal).toString(), QStringLiteral("Command"));
    QCOMPARE(log.model().headerData(1, Qt::Horizontal).toString(), QStringLiteral("Response"));
    QCOMPARE(log.model().data(log.model().index(0, 0)).toString(), commands[0]);
}

void ResponseLogTest::responseOfAnEarlierRow()
{
    ResponseListView log;
    const int first = log.AddRow("first");
    log.AddRow("second");
    log.SetResponse(first, "late");
    QCOMPARE(log.Row(first).Response, QStringLiteral("late"));
    QCOMPARE(log.Row(2).Command, QStringLiteral("second"));
    QCOMPARE(log.Row(2).Response, QString());
}

void ResponseLogTest::rowsKeepTheirKindAndTime_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("msecs");
    // The chart's marks: the row comes after a break, the reply carries no number.
    QTest::addColumn<bool>("afterBreak");
    QTest::addColumn<bool>("withoutNumber");
    QTest::newRow("command row") << int(RowKind::Command) << Q_INT64_C(1774447629045) << false
                                 << false;
    QTest::newRow("reply row") << int(RowKind::Reply) << Q_INT64_C(1774447629046) << false << false;
    QTest::newRow("notice row") << int(RowKind::Notice) << Q_INT64_C(1774447629999) << false
                                << false;
    QTest::newRow("at 1970") << int(RowKind::Reply) << Q_INT64_C(0) << false << false;
    QTest::newRow("before 1970") << int(RowKind::Notice) << Q_INT64_C(-1) << false << false;
    QTest::newRow("year 9999") << int(RowKind::Command) << Q_INT64_C(253402300799999) << false
                               << false;
    QTest::newRow("reply without a number")
        << int(RowKind::Reply) << Q_INT64_C(1774447629046) << false << true;
    QTest::newRow("after a break") << int(RowKind::Command) << Q_INT64_C(-1) << true << false;
    QTest::newRow("both, in 9999")
        << int(RowKind::Reply) << Q_INT64_C(253402300799999) << true << true;
}

void ResponseLogTest::rowsKeepTheirKindAndTime()
{
    QFETCH(int, kind);
    QFETCH(qint64, msecs);
    QFETCH(bool, afterBreak);
    QFETCH(bool, withoutNumber);
    ResponseLogModel model;
    model.append(u"before", RowKind::Reply, 5);
    if (afterBreak)
        model.markBreak();
    const int row = model.append(u"03/25/2026 14:07:09.045", RowKind(kind), msecs);
    model.setResponse(row, u"0");
    if (withoutNumber)
        model.markWithoutNumber(row);
    model.append(u"after", RowKind::Command, 7);
    QCOMPARE(int(model.stamp(row).kind()), kind);
    QCOMPARE(model.stamp(row).msecsSinceEpoch(), msecs);
    QCOMPARE(model.stamp(row).afterBreak(), afterBreak);
    QCOMPARE(model.stamp(row).withoutNumber(), withoutNumber);
    QCOMPARE(model.stamp(row).isPlainReply(),
             RowKind(kind) == RowKind::Reply && !afterBreak && !withoutNumber);
    // The marks are the chart's alone: the row reads as any other, and the next row is unmarked.
    QCOMPARE(model.row(row).Command, QStringLiteral("03/25/2026 14:07:09.045"));
    QCOMPARE(model.data(model.index(row, ResponseLogModel::ResponseColumn)), QVariant("0"));
    QCOMPARE(model.stamp(0).msecsSinceEpoch(), Q_INT64_C(5));
    QCOMPARE(model.stamp(2).kind(), RowKind::Command);
    QVERIFY(!model.stamp(2).afterBreak());
    QVERIFY(!model.stamp(2).withoutNumber());
    // A row added through the view is a reply row unless told otherwise, stamped now.
    ResponseListView log;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    log.AddRow(QStringLiteral("ID"), RowKind::Command);
    log.AddRow(QString());
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(log.model().stamp(0).kind(), RowKind::Command);
    QCOMPARE(log.model().stamp(1).kind(), RowKind::Reply);
    QVERIFY(log.model().stamp(1).msecsSinceEpoch() >= before);
    QVERIFY(log.model().stamp(1).msecsSinceEpoch() <= after);
}

void ResponseLogTest::clearEmptiesTheLog()
{
    ResponseListView log;
    for (int i = 0; i < 1000; ++i)
        log.SetResponse(log.AddRow(QString::number(i)), "r");
    log.Clear();
    QCOMPARE(log.Count(), 0);
    QCOMPARE(log.AddRow("again"), 1);
    QCOMPARE(log.Row(1).Command, QStringLiteral("again"));
}

void ResponseLogTest::framesGatherTheRows_data()
{
    // When rows come (ms after the first), and how many new rows each frame draws.
    QTest::addColumn<QList<int>>("arrivals");
    QTest::addColumn<QList<int>>("framed");
    QTest::addColumn<int>("rowsBefore"); // rows in the log before the first arrival
    QList<int> steady;
    for (int t = 0; t < 200; t += 10)
        steady << t;
    QTest::newRow("a row every 10 ms") << steady << QList<int>{1, 3, 3, 3, 4, 3, 3} << 100;
    QTest::newRow("pauses between short bursts")
        << QList<int>{0, 5, 10, 200, 201, 202, 400} << QList<int>{1, 2, 1, 2, 1} << 100;
    QTest::newRow("a row every 40 ms")
        << QList<int>{0, 40, 80, 120} << QList<int>{1, 1, 1, 1} << 100;
    QTest::newRow("five rows at once after the first")
        << QList<int>{0, 1, 1, 1, 1, 1} << QList<int>{1, 5} << 100;
    QTest::newRow("exactly a frame apart")
        << QList<int>{0, 33, 34, 66} << QList<int>{1, 1, 1, 1} << 100;
    // A log a little longer than the view: the scroll bar's handle shrinks at every frame.
    QTest::newRow("a short log") << QList<int>{0, 40, 80, 120} << QList<int>{1, 1, 1, 1} << 14;
}

void ResponseLogTest::framesGatherTheRows()
{
    QFETCH(QList<int>, arrivals);
    QFETCH(QList<int>, framed);
    QFETCH(int, rowsBefore);
    ResponseListView log;
    ManualFrameClock clock;
    log.setFrameClock(&clock);
    QVERIFY(shown(log, 300, 200));
    PaintLog paints;
    log.viewport()->installEventFilter(&paints);
    // The event loop turns: a frame that is due is made at the first turn and painted at the
    // next.
    const auto turn = [] {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    };
    int next = 1;
    // As the polling loop adds a reply, and yields.
    const auto addRow = [&] {
        const int row = log.AddRow(QString());
        log.SetResponse(row, QString::number(next++));
        log.EnsureVisible(row);
        turn();
    };
    // A full view that follows the log's end, drawn a while ago.
    for (int i = 0; i < rowsBefore; ++i)
        addRow();
    clock.moveTo(clock.now() + 1000);
    turn();
    QVERIFY(log.IsRowVisible(rowsBefore));
    paints.areas.clear();

    const qint64 start = clock.now();
    for (int i = 0; i < arrivals.size(); ++i) {
        const int at = arrivals[i];
        const bool pause = i == 0 || at - arrivals[i - 1] >= ResponseListView::FrameMs;
        clock.moveTo(start + at);
        turn();
        const size_t framesBefore = paints.areas.size();
        addRow();
        // The first row after a pause is drawn at once, without the clock moving.
        if (pause)
            QCOMPARE(paints.areas.size(), framesBefore + 1);
    }
    clock.moveTo(start + arrivals.last() + 1000);
    turn();

    // Each frame scrolled the rows on the screen and painted the new rows and the strip below
    // them, nothing else.
    const int rowHeight = log.rowHeight();
    const QRect view = log.viewport()->rect();
    const int rowsInView = view.height() / rowHeight;
    QList<int> painted;
    for (const QRect& area : paints.areas) {
        QCOMPARE(area.width(), view.width());
        QCOMPARE(area.bottom(), view.bottom());
        QCOMPARE(area.top() % rowHeight, 0);
        painted << rowsInView - area.top() / rowHeight;
    }
    QCOMPARE(painted, framed);
    QVERIFY(log.IsRowVisible(log.Count()));
    QVERIFY(screenShowsAfresh(log));
}

void ResponseLogTest::bringIntoViewShowsTheRow_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("target");
    QTest::newRow("last of few") << 3 << 3;
    QTest::newRow("last of many") << 5000 << 5000;
    QTest::newRow("back to the first") << 5000 << 1;
    QTest::newRow("one in the middle") << 5000 << 2500;
}

void ResponseLogTest::bringIntoViewShowsTheRow()
{
    QFETCH(int, rows);
    QFETCH(int, target);
    ResponseListView log;
    QVERIFY(shown(log, 600, 260));
    for (int i = 1; i <= rows; ++i)
        log.EnsureVisible(log.AddRow(QString::number(i)));
    log.flushPendingRows();
    QVERIFY(log.IsRowVisible(rows));
    log.EnsureVisible(target);
    log.flushPendingRows();
    QVERIFY(log.IsRowVisible(target));
    // Keys move the selection and keep it in view.
    log.setFocus();
    QTest::keyClick(&log, Qt::Key_End);
    QCOMPARE(log.SelectedRow(), rows);
    QVERIFY(log.IsRowVisible(rows));
    QTest::keyClick(&log, Qt::Key_Home);
    QCOMPARE(log.SelectedRow(), 1);
    QCOMPARE(log.TopRow(), 1);
}

void ResponseLogTest::copyTakesTheSelectedRows_data()
{
    // What the user does in the log (rows counted from 1), and what Ctrl+C then copies.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("copied");
    const QString id = "ID?\t";
    const QString stamped = "12/25/2026 09:05:03.007\t" + QString(500, 'x');
    const QString notice = "\tData streaming canceled. ";
    const QString temp = "TEMP?\t";
    QTest::newRow("nothing selected") << QStringList{} << "before";
    QTest::newRow("command row") << QStringList{"down"} << id;
    QTest::newRow("stamped reply, whole text") << QStringList{"down", "down"} << stamped;
    QTest::newRow("notice") << QStringList{"down", "down", "down"} << notice;
    QTest::newRow("shift with the arrows")
        << QStringList{"down", "shift+down", "shift+down"} << id + "\n" + stamped + "\n" + notice;
    QTest::newRow("shift up, copied in the log's order")
        << QStringList{"end", "shift+up", "shift+up"} << stamped + "\n" + notice + "\n" + temp;
    QTest::newRow("shift+click from the row clicked before")
        << QStringList{"click 4", "shift+click 2"} << stamped + "\n" + notice + "\n" + temp;
    QTest::newRow("ctrl+click adds rows and takes them out")
        << QStringList{"click 1", "ctrl+click 3", "ctrl+click 4", "ctrl+click 3"}
        << id + "\n" + temp;
    QTest::newRow("a plain click selects one row again")
        << QStringList{"click 1", "shift+click 3", "click 2"} << stamped;
    QTest::newRow("right click in the selection keeps it")
        << QStringList{"click 1", "shift+click 3", "right 2"}
        << id + "\n" + stamped + "\n" + notice;
    QTest::newRow("right click elsewhere selects that row")
        << QStringList{"click 1", "shift+click 2", "right 4"} << temp;
    QTest::newRow("ctrl+a takes the rows there, not those that come after")
        << QStringList{"ctrl+a", "add"} << id + "\n" + stamped + "\n" + notice + "\n" + temp;
}

void ResponseLogTest::copyTakesTheSelectedRows()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, copied);
    ResponseListView log;
    QVERIFY(shown(log, 300, 200));
    log.AddRow("ID?");
    log.SetResponse(log.AddRow("12/25/2026 09:05:03.007"), QString(500, 'x'));
    log.SetResponse(log.AddRow(QString()), "Data streaming canceled. ");
    log.AddRow("TEMP?");
    log.flushPendingRows();
    QApplication::clipboard()->setText("before");
    log.setFocus();
    const auto rowCentre = [&](int row) {
        return QPoint(20, (row - log.TopRow()) * log.rowHeight() + log.rowHeight() / 2);
    };
    for (const QString& step : steps) {
        const QString verb = step.section(' ', 0, 0);
        const int row = step.section(' ', 1).toInt();
        if (verb == "click" || verb == "shift+click" || verb == "ctrl+click") {
            const Qt::KeyboardModifiers modifiers = verb == "click"         ? Qt::NoModifier
                                                    : verb == "shift+click" ? Qt::ShiftModifier
                                                                            : Qt::ControlModifier;
            QTest::mouseClick(log.viewport(), Qt::LeftButton, modifiers, rowCentre(row));
        } else if (verb == "right") {
            QTest::mouseClick(log.viewport(), Qt::RightButton, Qt::NoModifier, rowCentre(row));
        } else if (verb == "add") {
            log.EnsureVisible(log.AddRow("later"));
            log.flushPendingRows();
        } else {
            QTest::keySequence(&log, QKeySequence::fromString(verb));
        }
    }
    QTest::keySequence(&log, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), copied);
}

void ResponseLogTest::selectionKeepsRanges_data()
{
    // Rows toggled one after the other (from 0), and the ranges then selected.
    QTest::addColumn<QList<int>>("toggled");
    QTest::addColumn<QString>("ranges");
    QTest::newRow("one row") << QList<int>{5} << "5-5";
    QTest::newRow("joined on both sides") << QList<int>{4, 6, 5} << "4-6";
    QTest::newRow("cut in two") << QList<int>{4, 5, 6, 5} << "4-4 6-6";
    QTest::newRow("first and last of a range") << QList<int>{1, 2, 3, 1, 3} << "2-2";
    QTest::newRow("apart, in order") << QList<int>{9, 0, 5} << "0-0 5-5 9-9";
    QTest::newRow("all taken out again") << QList<int>{7, 7} << "";
}

void ResponseLogTest::selectionKeepsRanges()
{
    QFETCH(QList<int>, toggled);
    QFETCH(QString, ranges);
    RowSelection selection;
    for (const int row : toggled)
        selection.toggle(row);
    QStringList shown;
    int rows = 0;
    for (const RowSelection::Range& range : selection.ranges()) {
        shown << QStringLiteral("%1-%2").arg(range.first).arg(range.second);
        for (int row = range.first; row <= range.second; ++row, ++rows)
            QVERIFY(selection.contains(row));
    }
    QCOMPARE(shown.join(' '), ranges);
    QCOMPARE(selection.count(), rows);
    QVERIFY(!selection.contains(-1) && !selection.contains(10));
    // A million rows are one range.
    selection.selectOnly(999999, 0);
    QCOMPARE(selection.ranges().size(), size_t(1));
    QCOMPARE(selection.count(), 1000000);
}

void ResponseLogTest::readingBackWhileRowsArrive_data()
{
    // How the user leaves the end of the log, and how they come back to it.
    QTest::addColumn<QString>("away");
    QTest::addColumn<QString>("back");
    QTest::newRow("wheel up, wheel down") << "wheel"
                                          << "wheel";
    QTest::newRow("page up in the trough, Ctrl+End") << "trough"
                                                     << "ctrl+end";
    QTest::newRow("arrow key up, arrow key down") << "key up"
                                                  << "key down";
    QTest::newRow("drag the handle, release at the end") << "drag"
                                                         << "release";
    QTest::newRow("hold the handle at the end, release") << "hold"
                                                         << "release";
}

void ResponseLogTest::readingBackWhileRowsArrive()
{
    QFETCH(QString, away);
    QFETCH(QString, back);
    ResponseListView log;
    QVERIFY(shown(log, 300, 200));
    QScrollBar* bar = log.verticalScrollBar();
    int next = 1;
    const auto arrive = [&](int count) {
        for (int i = 0; i < count; ++i)
            log.EnsureVisible(log.AddRow(QString::number(next++)));
        log.flushPendingRows();
    };
    const auto wheel = [&](int steps) {
        const QPoint at = log.viewport()->rect().center();
        QWheelEvent event(at, log.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(log.viewport(), &event);
    };
    arrive(100);
    QVERIFY(log.IsRowVisible(100));
    log.setFocus();

    if (away == "wheel") {
        wheel(2);
    } else if (away == "trough") {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (away == "key up") {
        QTest::keyClick(&log, Qt::Key_End);
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(&log, Qt::Key_Up);
    } else if (away == "drag") {
        bar->setSliderDown(true);
        bar->setSliderPosition(10);
    } else { // hold the handle where it is, at the end
        bar->setSliderDown(true);
    }
    QVERIFY(!log.isFollowing());
    const int top = log.TopRow();
    arrive(50);
    QCOMPARE(log.TopRow(), top); // the rows being read stay where they are
    QCOMPARE(log.IsRowVisible(150), false);
    QCoreApplication::processEvents();
    QVERIFY(screenShowsAfresh(log));

    if (back == "wheel") {
        for (int i = 0; i < 100 && bar->value() < bar->maximum(); ++i) {
            QVERIFY(!log.isFollowing());
            wheel(-1);
        }
    } else if (back == "ctrl+end") {
        QTest::keyClick(&log, Qt::Key_End, Qt::ControlModifier);
    } else if (back == "key down") {
        for (int i = 0; i < 200; ++i)
            QTest::keyClick(&log, Qt::Key_Down);
    } else {
        bar->setSliderPosition(bar->maximum());
        bar->setSliderDown(false);
    }
    QVERIFY(log.isFollowing());
    QCoreApplication::processEvents();
    QVERIFY(screenShowsAfresh(log));
    arrive(50);
    QVERIFY(log.IsRowVisible(200)); // followed again
}

void ResponseLogTest::clearDisablesSaveAndKeepsTheRest()
{
    frmMain w;
    w.lstResponse->AddRow("ID");
    w.cmdSave->setEnabled(true);
    w.cmdClear->setEnabled(true);
    w.lstResponse->SetBackColor(streamingBackground());
    w.state().StreamFileName = "/tmp/run1.txt";
    w.state().VisualOutput = false;
    w.chkTimeStamp->setChecked(true);
    w.cmdClear->click();
    QCOMPARE(w.lstResponse->Count(), 0);
    QVERIFY(!w.cmdSave->isEnabled());
    QVERIFY(w.cmdClear->isEnabled());
    QCOMPARE(w.lstResponse->BackColor(), streamingBackground());
    QCOMPARE(w.state().StreamFileName, QStringLiteral("/tmp/run1.txt"));
    QVERIFY(!w.state().VisualOutput);
    QCOMPARE(w.state().CurrentItem, TerminalState::NoRow);
    QVERIFY(w.chkTimeStamp->isChecked());
    // The chart's lines do not join what comes next to what was cleared away.
    w.lstResponse->AddRow("next");
    QVERIFY(w.lstResponse->model().stamp(0).afterBreak());
}

void ResponseLogTest::clearOnEmptyLog()
{
    frmMain w;
    w.cmdClear->setEnabled(true);
    w.cmdClear->click();
    QCOMPARE(w.lstResponse->Count(), 0);
    QVERIFY(!w.cmdSave->isEnabled());
}

void ResponseLogTest::streamingColourDiffersFromWhite()
{
    const QColor grey = streamingBackground();
    QCOMPARE(loggingBackground(), QColor(255, 255, 255));
    QVERIFY(grey.red() < 240 && grey.green() < 240 && grey.blue() < 240);
}

void ResponseLogTest::longCellsAreCut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole");
    QTest::newRow("fits") << QStringLiteral("TEMP_23.50") << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("a little too long") << QString(300, QLatin1Char('W')) << false;
    QTest::newRow("a million digits") << QString(1000000, QLatin1Char('7')) << false;
    // Characters that take no room must not hide that the line goes on.
    QTest::newRow("mostly zero-width")
        << (QStringLiteral("A") + QString(5000, QChar(0x0301)) + QStringLiteral("TAIL")) << false;
}

void ResponseLogTest::longCellsAreCut()
{
    QFETCH(QString, text);
    QFETCH(bool, whole);
    const QFontMetrics metrics(QApplication::font());
    const int width = 200;
    const QString shown = cellTextForWidth(text, metrics, width);
    QVERIFY(metrics.horizontalAdvance(shown) <= width);
    if (whole) {
        QCOMPARE(shown, text);
    } else {
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(text.startsWith(shown.chopped(1)));
    }
}

void ResponseLogTest::toolTipOfALongCell_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("cut");
    QTest::newRow("one line") << 60 << 1 << false;
    QTest::newRow("exactly one line") << 100 << 1 << false;
    QTest::newRow("two and a half lines") << 250 << 3 << false;
    QTest::newRow("exactly the most") << 2000 << 20 << false;
    QTest::newRow("a million characters") << 1000000 << 20 << true;
}

void ResponseLogTest::toolTipOfALongCell()
{
    QFETCH(int, length);
    QFETCH(int, lines);
    QFETCH(bool, cut);
    QString text;
    for (int i = 0; i < length; ++i)
        text += QChar('a' + i % 26);
    QString tip = cellToolTipText(text);
    QCOMPARE(tip.count(QLatin1Char('\n')) + 1, lines);
    QCOMPARE(tip.endsWith(QChar(0x2026)), cut);
    if (cut)
        tip.chop(1);
    tip.remove(QLatin1Char('\n'));
    QVERIFY(text.startsWith(tip));
    QCOMPARE(tip.size() == text.size(), !cut);
}

QTEST_MAIN(ResponseLogTest)
#include "tst_responselog.moc"
