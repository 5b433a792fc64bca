#pragma once

#include "exchange/TimeStamp.h"

#include <QString>

#include <vector>

// A tick of the time axis: a round local time (milliseconds since 1970) and its label.
struct TimeTick {
    qint64 msecs = 0;
    QString label;
};

// The ticks of a time axis `pixels` wide that shows [from, to]: every multiple of one step of
// local time within it, the step the least of 1, 2, 5, 10, 20, 50, 100, 200, 500 ms; 1, 2, 5, 10,
// 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h; 1, 2, 5, 10, 20, 50 … days that leaves
// each label room, a label taking two characters more than its own of `characterPixels` each.
// Labels say as much as the step needs ("14:07:09.25", "14:07:10", "14:07", "03/25"), with the
// date in front once the axis spans a day, written with the separators of the time stamps.
// No two ticks have the same label.
std::vector<TimeTick> timeTicks(qint64 from, qint64 to, double pixels, double characterPixels,
                                TimeStampSeparators separators);
