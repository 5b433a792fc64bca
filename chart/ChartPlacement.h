#pragma once

#include <QRect>
#include <QSize>

// Where a window of the terminal's (the chart, the measurement run) first opens, frames included
// and in the screen's coordinates, in this order of preference: beside the terminal, as large as
// the room there allows up to `wanted` (at least `least`); over the rest of the terminal but beside
// the log, likewise as large as the room allows; at its wanted size where it covers the least of
// the terminal. It lies wholly on the available area, cut to it where it is larger. Without a
// terminal (an empty rect) it is centred on the available area.
QRect besideTerminalFrame(const QRect& available, const QRect& terminal, const QRect& log,
                          QSize wanted, QSize least);
