#pragma once

#include <QRect>
#include <utility>

// Window geometry is designed in twips (1/1440 inch); at 96 dots per inch 15 twips make one
// device-independent pixel.
constexpr int TwipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    return twips / TwipsPerPixel;
}

constexpr int pixelsToTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

// Widths in twips of the log's "Command" and "Response" columns for a log whose outer width is
// outerWidth twips: one third and two thirds, each rounded on its own to the nearest whole twip
// (halves to even) and kept within the 16-bit range.
std::pair<int, int> logColumnWidths(float outerWidth);
