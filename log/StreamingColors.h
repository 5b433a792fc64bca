#pragma once

#include <QColor>

// Background of the response log while replies go to it.
QColor loggingBackground();
// Background of the response log while replies are streamed to a file: the system colour of
// inactive window borders where the platform has one, otherwise a fixed light grey.
QColor streamingBackground();
