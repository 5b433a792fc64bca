// How the response log scales: appending rows and bringing each into view, with the log shown,
// at 10k, 100k and 1M rows; next to the same done with QTreeWidget items. Then what reading a
// long log through its accessibility interface costs.
//
//   log_bench                 offscreen, where Qt's accessibility is never active
//   log_bench --x11           on the X display ($DISPLAY), accessibility off
//   log_bench --accessible    on the X display with Qt's accessibility bridge active, as while a
//                             screen reader runs; needs the accessibility bus, e.g.
//                             tests/accessibility/with-atspi.sh build/bench/log_bench --accessible

#include "BenchSupport.h"

#include "app/Geometry.h"
#include "log/ResponseListView.h"

#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

const QString kCommand = QStringLiteral("MEAS:VOLT?");            // 10 characters
const QString kStamp = QStringLiteral("03/25/2026 14:07:09.045"); // 23 characters
const QString kReply = QStringLiteral("+1.234E+01");              // 10 characters
constexpr int EventsEveryRows = 1; // window events after every row, as the polling loop yields

struct Figures {
    double microsecondsPerRow = 0;
    double bytesPerRow = 0;
};

// Appends `rows` rows (command rows and reply rows in turn) through `append`, which adds one row
// and brings it into view, handling window events every so many rows.
Figures measure(long long rows, const std::function<void(long long)>& append)
{
    QApplication::processEvents();
    const size_t heapBefore = bench::heapInUse();
    QElapsedTimer timer;
    timer.start();
    for (long long i = 0; i < rows; ++i) {
        append(i);
        if (i % EventsEveryRows == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const size_t heapAfter = bench::heapInUse();
    return {seconds * 1e6 / double(rows), double(heapAfter - heapBefore) / double(rows)};
}

Figures measureLog(long long rows)
{
    auto log = std::make_unique<ResponseListView>();
    log->resize(twipsToPixels(9135), twipsToPixels(3885));
    log->show();
    QApplication::processEvents();
    ResponseListView* view = log.get();
    return measure(rows, [view](long long i) {
        if (i % 2 == 0) {
            view->EnsureVisible(view->AddRow(kCommand));
        } else {
            const int row = view->AddRow(kStamp);
            view->SetResponse(row, kReply);
            view->EnsureVisible(row);
        }
    });
}

Figures measureTreeWidget(long long rows)
{
    auto tree = std::make_unique<QTreeWidget>();
    tree->setColumnCount(2);
    tree->setHeaderLabels({QStringLiteral("Command"), QStringLiteral("Response")});
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->resize(twipsToPixels(9135), twipsToPixels(3885));
    tree->show();
    QApplication::processEvents();
    QTreeWidget* view = tree.get();
    return measure(rows, [view](long long i) {
        auto* item = new QTreeWidgetItem(view);
        if (i % 2 == 0) {
            item->setText(0, kCommand);
        } else {
            item->setText(0, kStamp);
            item->setText(1, kReply);
        }
        view->scrollToItem(item);
    });
}

// Milliseconds to paint the shown log once when every row in view holds a reply line of
// `length` characters, next to measuring one such line whole for its column.
void measureLongLines(int length)
{
    auto log = std::make_unique<ResponseListView>();
    log->resize(twipsToPixels(9135), twipsToPixels(3885));
    log->show();
    const QString line(length, QLatin1Char('7'));
    for (int i = 0; i < 20; ++i) {
        const int row = log->AddRow(kStamp);
        log->SetResponse(row, line);
        log->EnsureVisible(row);
    }
    QApplication::processEvents();
    log->flushPendingRows(); // rows shown
    constexpr int Paints = 5;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Paints; ++i)
        log->viewport()->repaint();
    const double paintMs = double(timer.nsecsElapsed()) / 1e6 / Paints;
    timer.restart();
    const QFontMetrics metrics(log->font());
    const int width = log->columnWidth(1);
    metrics.elidedText(line, Qt::ElideRight, width);
    const double wholeMs = double(timer.nsecsElapsed()) / 1e6;
    std::printf("%-8s %14.2f %20.2f\n", qPrintable(bench::shortCount(length)), paintMs, wholeMs);
}

// Reads cells spread over a log of `rows` rows through the accessibility interface, as
// assistive technology does, and prints what that costs in time and memory.
void measureAccessibleReading(int rows)
{
    auto log = std::make_unique<ResponseListView>();
    for (int i = 0; i < rows; ++i)
        log->SetResponse(log->AddRow(kStamp), kReply);
    QElapsedTimer timer;
    timer.start();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(log.get());
    const int answered = table->tableInterface()->rowCount();
    const double tableUs = double(timer.nsecsElapsed()) / 1e3;

    constexpr int Cells = 1000;
    const size_t heapBefore = bench::heapInUse();
    timer.restart();
    qsizetype characters = 0;
    for (int i = 0; i < Cells; ++i) {
        const int row = int((long long)(rows - 1) * i / (Cells - 1));
        characters += table->tableInterface()->cellAt(row, 1)->text(QAccessible::Name).size();
    }
    const double firstReadUs = double(timer.nsecsElapsed()) / 1e3 / Cells;
    timer.restart();
    for (int i = 0; i < Cells; ++i) {
        const int row = int((long long)(rows - 1) * i / (Cells - 1));
        characters += table->tableInterface()->cellAt(row, 1)->text(QAccessible::Name).size();
    }
    const double againUs = double(timer.nsecsElapsed()) / 1e3 / Cells;
    const double bytesPerCell = double(bench::heapInUse() - heapBefore) / Cells;
    std::printf("%-8s %10d %12.1f %14.2f %14.2f %12.0f\n", qPrintable(bench::shortCount(rows)),
                answered, tableUs, firstReadUs, againUs, bytesPerCell);
    if (characters != 2 * Cells * kReply.size())
        std::printf("(read %lld characters, expected %lld)\n", (long long)characters,
                    (long long)(2 * Cells * kReply.size()));
}

void compareWithTreeWidget()
{
    std::printf("The same with QTreeWidget items:\n");
    std::printf("%-8s %12s %12s\n", "rows", "us/row", "bytes/row");
    Figures small;
    Figures large;
    const long long measured[] = {10000, 20000};
    for (long long rows : measured) {
        const Figures naive = measureTreeWidget(rows);
        (rows == measured[0] ? small : large) = naive;
        std::printf("%-8s %12.2f %12.0f\n", qPrintable(bench::shortCount(rows)),
                    naive.microsecondsPerRow, naive.bytesPerRow);
        std::fflush(stdout);
    }
    const double growthPerRow =
        (large.microsecondsPerRow - small.microsecondsPerRow) / double(measured[1] - measured[0]);
    for (long long rows : {100000LL, 1000000LL}) {
        const double perRow = small.microsecondsPerRow + growthPerRow * double(rows - measured[0]);
        std::printf("%-8s %12.0f %12s   (estimated: %.1f hours for the run)\n",
                    qPrintable(bench::shortCount(rows)), perRow, "-",
                    perRow * double(rows) / 1e6 / 3600.0);
    }
    std::printf("\n");
}

bool hasArgument(int argc, char** argv, const char* argument)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], argument) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const bool accessible = hasArgument(argc, argv, "--accessible");
    const bool onDisplay = accessible || hasArgument(argc, argv, "--x11");
    qputenv("QT_QPA_PLATFORM", onDisplay ? "xcb" : "offscreen");
    if (accessible)
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    else
        qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    QApplication app(argc, argv);
    if (accessible) {
        // The bridge switches itself on once it has reached the accessibility bus.
        const QDeadlineTimer deadline(20000);
        while (!QAccessible::isActive() && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!QAccessible::isActive()) {
            std::fprintf(stderr, "Qt's accessibility bridge did not become active: run this "
                                 "through tests/accessibility/with-atspi.sh\n");
            return 1;
        }
    }
    const long long sizes[] = {10000, 100000, 1000000};

    std::printf("Response log: append a row and bring it into view, log shown (%s),\n"
                "window events handled after every row as the polling loop does\n",
                !onDisplay   ? "offscreen, accessibility never active"
                : accessible ? "X display, accessibility active"
                             : "X display, accessibility off");
    std::printf("rows: command rows (10-char command) and reply rows (23-char time stamp, "
                "10-char reply) in turn\n\n");
    std::printf("%-8s %12s %12s\n", "rows", "us/row", "bytes/row");
    for (long long rows : sizes) {
        const Figures log = measureLog(rows);
        std::printf("%-8s %12.2f %12.0f\n", qPrintable(bench::shortCount(rows)),
                    log.microsecondsPerRow, log.bytesPerRow);
        std::fflush(stdout);
    }
    std::printf("Goals at 1M rows: flat cost per row, at most 10 us and 150 bytes per row.\n\n");

    // The item-based list relays out all its items whenever one is added and brought into
    // view, so its cost per row grows with its length: two sizes are measured and the larger
    // ones estimated from them. Measured offscreen only.
    if (!onDisplay)
        compareWithTreeWidget();

    std::printf("Painting the log with a long reply line in every row in view:\n");
    std::printf("%-8s %14s %20s\n", "chars", "ms per paint", "ms to elide 1 whole");
    for (int length : {100, 100000, 1000000})
        measureLongLines(length);
    std::printf("Goal: a paint costs the same however long the lines are.\n\n");

    std::printf("Reading the log through its accessibility interface: the table's row count, "
                "then\n1000 Response cells spread over the log, each read twice (the first read "
                "makes the cell)\n");
    std::printf("%-8s %10s %12s %14s %14s %12s\n", "rows", "rowCount", "us to answer",
                "us/cell first", "us/cell again", "bytes/cell");
    measureAccessibleReading(1000000);
    std::printf("Goal: cells are made only when read; reading costs the same at any length.\n");
    return 0;
}
