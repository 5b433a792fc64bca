#pragma once

#include <QString>
#include <QtGlobal>

// What a row of a measurement run's CSV file says happened.
enum class RunStatus : quint8 {
    Started,
    Ok,
    NoReply,
    Unsolicited,
    Skipped,
    LinkLost,
    Resumed,
    WriteFailed,
    WrittenAgain,
    Notice,
    Stopped,
};

// The word the `status` column holds for it.
QString runStatusText(RunStatus status);

// One event of a measurement run, one row of its CSV file.
struct RunRow {
    RunStatus status = RunStatus::Notice;
    qint64 wallMs = 0;     // the `time` column: milliseconds since 1970 UTC
    qint64 elapsedNs = 0;  // since the run started, on the schedule's clock
    QString command;       // as sent; empty on rows that are not a command's
    QString reply;         // the line as read, or what the status needs to say
    QString value;         // the number the reply carries, a count, or empty
    qint64 latencyNs = -1; // from the send to the reply's line feed; -1 without a reply
};
