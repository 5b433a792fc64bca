#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Reducing an instrument reply to the number it carries, as "Strip Data" does: a leading part
// of the line is cut off (everything up to the first "_"; else the first 8 characters when the
// line holds a "="; else the first 5), and the number that follows is read and written out in
// the program's number format.

// The line with its leading part cut off; a line shorter than the part is kept whole.
QString cutReplyPrefix(QStringView line);

// Reads the number at the start of the text: blanks, tabs and line feeds are skipped wherever
// they stand; an optional sign, digits with at most one ".", an optional exponent (E or e, an
// optional sign, digits); "&H" and "&O" introduce hexadecimal and octal whole numbers. Reading
// stops at the first character that cannot continue the number; no digit at all reads as 0.
// Empty when the number is out of the range of a double.
// `scan`, when given, tells whether at least one digit was read (so that "OK" reads as 0 but
// carries no number) and whether the number took the whole text, blanks aside.
struct NumberScan {
    bool digits = false;
    bool whole = false;
};
std::optional<double> readLeadingNumber(QStringView text, NumberScan* scan = nullptr);

// A number written with at most 15 significant digits, "." as the decimal point, no trailing
// zeros, zero always "0", and exponent form ("1E-05", "1.5E+15") below 1E-4 and from 1E15.
QString formatNumber(double value);

// The whole stripping, as ParseString does it: "" for an empty line or a number out of range.
// When `cut` is given it receives the line with its leading part cut off (an empty line stays
// empty); it may refer to the line itself. `carriesNumber`, when given, tells whether the
// reading found at least one digit: "ERROR: unknown command" strips to "0" but carries none.
QString stripReplyValue(QStringView line, QString* cut = nullptr, bool* carriesNumber = nullptr);
