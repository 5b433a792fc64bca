#pragma once

#include <QString>
#include <QtGlobal>

// What every run of the terminal starts with, and the parts of the line that never change.

// Reply time-out in whole seconds: at start, and the bounds of its spinner.
constexpr qint16 DefaultTimeoutSeconds = 5;
constexpr int MinimumTimeoutSeconds = 1;
constexpr int MaximumTimeoutSeconds = 99;

// The rates of the rate list, fastest first, and the one selected at start ("9600").
inline const char* const kRates[] = {"115200", "57600", "38400", "19200", "9600",
                                     "4800",   "1200",  "600",   "300",   "150"};
constexpr int DefaultRateIndex = 4;

// What follows the rate in the line settings: no parity, 8 data bits, 1 stop bit.
inline const QString kLineFraming = QStringLiteral(",N,8,1");

// The character code of the Enter key, which sends the command box's text.
constexpr qint16 EnterKeyCode = 13;
