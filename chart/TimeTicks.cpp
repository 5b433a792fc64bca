// Where the time axis has its ticks and what their labels say: round local times, as many as
// the axis has room for.

#include "TimeTicks.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
constexpr int MostTicks = 1000; // however far apart the readings

// The steps from the finest, in milliseconds; days by 1, 2 and 5 times a power of ten.
const std::vector<qint64>& steps()
{
    static const std::vector<qint64> all = [] {
        std::vector<qint64> list = {1, 2, 5, 10, 20, 50, 100, 200, 500};
        for (const qint64 seconds : {1, 2, 5, 10, 15, 30})
            list.push_back(seconds * Second);
        for (const qint64 minutes : {1, 2, 5, 10, 15, 30})
            list.push_back(minutes * Minute);
        for (const qint64 hours : {1, 2, 3, 6, 12})
            list.push_back(hours * Hour);
        for (qint64 days = 1; days <= 100000000; days *= 10) {
            for (const qint64 times : {1, 2, 5})
                list.push_back(times * days * Day);
        }
        return list;
    }();
    return all;
}

// What the labels of a step say.
struct Labelling {
    bool date = false;
    bool year = false;
    bool time = false;
    bool seconds = false;
    int fractionDigits = 0;
};

Labelling labellingFor(qint64 step, qint64 span, bool acrossYears)
{
    Labelling labelling;
    labelling.time = step < Day;
    labelling.seconds = step < Minute;
    labelling.fractionDigits = step < 10 ? 3 : step < 100 ? 2 : step < Second ? 1 : 0;
    // Times of different days could read alike.
    labelling.date = step >= Day || span >= Day;
    labelling.year = labelling.date && acrossYears;
    return labelling;
}

void appendDigits(QString& text, int value, int width)
{
    text += QString::number(value).rightJustified(width, QLatin1Char('0'));
}

// The label of a local time, given by its date and time alone.
QString label(const QDateTime& local, const Labelling& labelling, TimeStampSeparators separators)
{
    QString text;
    if (labelling.date) {
        // Month first, as in the time stamps.
        appendDigits(text, local.date().month(), 2);
        text += separators.date;
        appendDigits(text, local.date().day(), 2);
        if (labelling.year) {
            text += separators.date;
            appendDigits(text, local.date().year(), 4);
        }
    }
    if (labelling.time) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        const QTime time = local.time();
        appendDigits(text, time.hour(), 2);
        text += separators.time;
        appendDigits(text, time.minute(), 2);
        if (labelling.seconds) {
            text += separators.time;
            appendDigits(text, time.second(), 2);
        }
        if (labelling.fractionDigits > 0) {
            text += QLatin1Char('.');
            appendDigits(text, time.msec(), 3);
            text.chop(3 - labelling.fractionDigits);
        }
    }
    return text;
}

// How far the local clock is ahead of UTC at an instant, in milliseconds.
qint64 offsetAt(qint64 msecs)
{
    return qint64(QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc()) * Second;
}

qint64 firstMultipleFrom(qint64 value, qint64 step)
{
    const qint64 below = value / step * step;
    return below < value ? below + step : below;
}

} // namespace

std::vector<TimeTick> timeTicks(qint64 from, qint64 to, double pixels, double characterPixels,
                                TimeStampSeparators separators)
{
    std::vector<TimeTick> ticks;
    if (to <= from || pixels <= 0)
        return ticks;
    const qint64 span = to - from;
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(from);
    const bool acrossYears =
        first.date().year() != QDateTime::fromMSecsSinceEpoch(to).date().year();
    qint64 step = steps().back();
    Labelling labelling = labellingFor(step, span, acrossYears);
    for (const qint64 candidate : steps()) {
        const Labelling candidateLabelling = labellingFor(candidate, span, acrossYears);
        const double room =
            double(label(first, candidateLabelling, separators).size() + 2) * characterPixels;
        if (double(span) / double(candidate) * room <= pixels) {
            step = candidate;
            labelling = candidateLabelling;
            break;
        }
    }
    // A tick falls at every instant whose wall-clock time (local time counted as if it were UTC)
    // is a multiple of the step; steps of an hour and more so start at local midnight. The wall
    // times are gone through in order, and each is looked for under the offsets from UTC in
    // force a day before and a day after it: one instant as a rule, two where the clock is set
    // back (02:30 happens twice in the autumn), none where it skips ahead. Within a day the
    // offset changes at most once; over longer spans it may take values other than at the ends,
    // so the wall times looked at reach a day further.
    const qint64 offsetFrom = offsetAt(from);
    const qint64 offsetTo = offsetAt(to);
    // Most axes lie far from a change of the clock: one offset serves every tick, and local time
    // (a system call each time) is looked up four times rather than twice a tick.
    const bool oneOffset = span <= Day && offsetFrom == offsetTo &&
                           offsetAt(from - Day) == offsetFrom && offsetAt(to + Day) == offsetFrom;
    const qint64 reach = span > Day ? Day : 0;
    const qint64 wallFrom = from + std::min(offsetFrom, offsetTo) - reach;
    const qint64 wallTo = to + std::max(offsetFrom, offsetTo) + reach;
    for (qint64 wall = firstMultipleFrom(wallFrom, step);
         wall <= wallTo && int(ticks.size()) < MostTicks; wall += step) {
        const qint64 offsetBefore = oneOffset ? offsetFrom : offsetAt(wall - Day);
        const qint64 offsetAfter = oneOffset ? offsetFrom : offsetAt(wall + Day);
        for (const qint64 offset : {offsetBefore, offsetAfter}) {
            // Near a change of the clock, a time is a tick only where its offset holds.
            const qint64 msecs = wall - offset;
            if (msecs < from || msecs > to ||
                (offsetBefore != offsetAfter && offsetAt(msecs) != offset))
                continue;
            ticks.push_back({msecs, label(QDateTime::fromMSecsSinceEpoch(wall, Qt::UTC), labelling,
                                          separators)});
            if (offsetAfter == offsetBefore)
                break;
        }
    }
    // In the autumn the second 02:00 comes before the first 02:55.
    std::stable_sort(ticks.begin(), ticks.end(),
                     [](const TimeTick& a, const TimeTick& b) { return a.msecs < b.msecs; });
    return ticks;
}
