#include "ChartPlacement.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace {

// The rect moved by as little as it takes to lie within the area; one larger than the area
// keeps its top left corner on it.
QRect keptWithin(QRect rect, const QRect& area)
{
    rect.moveLeft(std::max(area.left(), std::min(rect.left(), area.right() + 1 - rect.width())));
    rect.moveTop(std::max(area.top(), std::min(rect.top(), area.bottom() + 1 - rect.height())));
    return rect;
}

qint64 sharedArea(const QRect& a, const QRect& b)
{
    const QRect shared = a.intersected(b);
    return shared.isEmpty() ? 0 : qint64(shared.width()) * shared.height();
}

qint64 areaOf(QSize size)
{
    return qint64(size.width()) * size.height();
}

enum class Side { Right, Left, Below, Above };
constexpr std::array<Side, 4> Sides{Side::Right, Side::Left, Side::Below, Side::Above};

// The part of the available area on one side of the rect.
QRect roomBeside(const QRect& rect, Side side, const QRect& available)
{
    QRect room = available;
    if (side == Side::Right)
        room.setLeft(rect.right() + 1);
    else if (side == Side::Left)
        room.setRight(rect.left() - 1);
    else if (side == Side::Below)
        room.setTop(rect.bottom() + 1);
    else
        room.setBottom(rect.top() - 1);
    return room.intersected(available);
}

// A chart of the size within the area where it covers the least of the terminal, and the
// log only where it must. The least lies where an edge of the chart meets an edge of the area,
// of the terminal or of the log, so those are the places weighed; of equals the first is taken,
// the terminal's right side and its top first.
QRect leastCovering(const QRect& area, QSize size, const QRect& terminal, const QRect& log)
{
    const int w = size.width();
    const int h = size.height();
    const int xs[] = {terminal.right() + 1, terminal.left() - w, log.right() + 1, log.left() - w,
                      area.right() + 1 - w, area.left(),         terminal.left()};
    const int ys[] = {terminal.top(),       terminal.bottom() + 1, terminal.top() - h,
                      log.bottom() + 1,     log.top() - h,         area.top(),
                      area.bottom() + 1 - h};
    QRect best;
    std::tuple<bool, qint64> bestCost;
    for (int y : ys) {
        for (int x : xs) {
            const QRect placed = keptWithin(QRect(QPoint(x, y), size), area);
            const std::tuple<bool, qint64> cost{sharedArea(placed, log) > 0,
                                                sharedArea(placed, terminal)};
            if (best.isNull() || cost < bestCost) {
                best = placed;
                bestCost = cost;
            }
        }
    }
    return best;
}

} // namespace

QRect besideTerminalFrame(const QRect& available, const QRect& terminal, const QRect& log,
                          QSize wanted, QSize least)
{
    const QSize size = wanted.boundedTo(available.size());
    least = least.boundedTo(size);
    if (terminal.isEmpty()) {
        QRect centred(QPoint(), size);
        centred.moveCenter(available.center());
        return keptWithin(centred, available);
    }
    // Beside the terminal, as large as the room there allows: against it, level with its top
    // or left edge. The side with the largest chart wins; of equals the right, left, bottom,
    // top, in that order.
    QRect best;
    for (Side side : Sides) {
        const QRect room = roomBeside(terminal, side, available);
        if (room.width() < least.width() || room.height() < least.height())
            continue;
        QRect placed(terminal.topLeft(), size.boundedTo(room.size()));
        if (side == Side::Right)
            placed.moveLeft(terminal.right() + 1);
        else if (side == Side::Left)
            placed.moveRight(terminal.left() - 1);
        else if (side == Side::Below)
            placed.moveTop(terminal.bottom() + 1);
        else
            placed.moveBottom(terminal.top() - 1);
        if (areaOf(placed.size()) > areaOf(best.size()))
            best = keptWithin(placed, room);
    }
    if (!best.isNull())
        return best;
    // Over the rest of the terminal, keeping clear of the log: the largest chart that fits
    // beside the log, where it covers the least.
    qint64 bestCovered = 0;
    for (Side side : Sides) {
        const QRect room = roomBeside(log, side, available);
        if (room.width() < least.width() || room.height() < least.height())
            continue;
        const QRect placed = leastCovering(room, size.boundedTo(room.size()), terminal, log);
        const qint64 covered = sharedArea(placed, terminal);
        if (areaOf(placed.size()) > areaOf(best.size()) ||
            (areaOf(placed.size()) == areaOf(best.size()) && covered < bestCovered)) {
            best = placed;
            bestCovered = covered;
        }
    }
    if (!best.isNull())
        return best;
    return leastCovering(available, size, terminal, log);
}
