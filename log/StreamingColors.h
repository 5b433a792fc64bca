#pragma once

#include <QColor>

// Background of the response log while replies go to it.
QColor loggingBackground();
// Background of the response log while replies are streamed to a file: a light grey, the same
// on every platform.
QColor streamingBackground();
