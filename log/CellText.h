#pragma once

#include <QString>
#include <QStringView>

class QFontMetrics;

// What the log shows of a cell: an instrument may send a line of many thousands of characters,
// and measuring such a line whole on every paint or tool tip would stall the window.

// The text as drawn in a column `width` pixels wide: whole when it fits, else cut with "…".
// Only as many characters are measured as could ever fill the column.
QString cellTextForWidth(QStringView text, const QFontMetrics& metrics, int width);

// The text of a tool tip for a cell: broken into lines of at most `lineLength` characters and
// cut with "…" after `maxLines` of them.
QString cellToolTipText(QStringView text, int lineLength = 100, int maxLines = 20);
