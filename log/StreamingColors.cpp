#include "StreamingColors.h"

QColor loggingBackground()
{
    return QColor(255, 255, 255);
}

QColor streamingBackground()
{
    // A fixed grey on every platform: the system colour of inactive borders that once served
    // is nearly white on current Windows, and streaming would not show.
    return QColor(0xD4, 0xD0, 0xC8);
}
