#pragma once

#include <QStringView>

#include <optional>

// A reading is a reply whose whole Response cell is exactly the text that Strip Data writes for
// the number it holds: "12.5", "-0.0001", "1E-05", "1.23456789012346E+17", "0"; not "12.50",
// "+5", "1.5e3", " 12.5" or "12.5 V". Returns that number, or nothing for any other text.
// Cheap enough to ask of every row of a log of millions.
std::optional<double> readingValue(QStringView response);
