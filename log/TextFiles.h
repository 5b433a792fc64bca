#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

class QIODevice;

struct LogRow;

// The text files the terminal writes: one byte per character (Latin-1, "?" for a character
// that has none), every line ended by a carriage return and a line feed.

// Bytes of one line with its line ending.
QByteArray fileLine(const QString& text);

// A stream line: the time stamp, "," and the reply; or the reply alone without a time stamp.
QString streamLine(const QString& timeStamp, bool withTimeStamp, const QString& reply);

// The folder a file prompt starts in: the program's own folder, where the user can make files
// there; otherwise (an installed program, whose folder only an administrator may change) the
// user's documents folder.
QString promptFolder(const QString& programFolder);

// A write to a pipe or a device fails once the reader has taken nothing for this long; a reader
// that keeps taking data may take as long as it likes.
constexpr int WriteStallLimitMs = 5000;

// Appends one line to the file (created when missing) and closes it again, so that nothing
// stays buffered or locked between lines; a pipe or a device is written to as it is (see
// writeWholeFile). Returns "" or the reason it failed.
QString appendLineToFile(const QString& path, const QString& text);

// Whether lines can be appended to the stream file, found out when it is chosen: the file is
// opened for appending and closed again, so that one that does not exist is created and one
// that does is left as it was. A pipe or a device is only opened and closed, without waiting (a
// pipe without a reader fails). Returns "" or the reason it cannot be streamed to.
QString checkAppendable(const QString& path);

// What the user is told when the stream file cannot be written.
QString streamFailureText(const QString& path, const QString& reason);

// "Date:" line of a saved log: the short date, one blank and the long time, in the user's
// regional format.
QString savedLogDate(const QDateTime& localTime);

// Writes a saved log: the header, an empty line, the date line, an empty line, then
// "Command,Response" for each of the rows numbered 1 to rowCount, unquoted. False when a
// write failed.
bool writeSavedLog(QIODevice& out, const QString& dateText, int rowCount,
                   const std::function<LogRow(int row)>& rowAt);

// Gives the file new content written by `write`. A regular file (or a new one) is replaced
// only once everything has been written and flushed, so a failure leaves the old file as it
// was; a read-only file is left alone; a device or pipe is written directly. Opening a pipe or
// a device never waits (a pipe without a reader fails at once), a reader that goes away is a
// write failure, and so is one that takes nothing for WriteStallLimitMs. Returns "" or the
// reason it failed.
QString writeWholeFile(const QString& path, const std::function<bool(QIODevice&)>& write);
