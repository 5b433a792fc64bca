#pragma once

#include <QString>
#include <QtGlobal>

// The variables that the main window's handlers share; only those handlers touch them, on the
// user-interface thread.
struct TerminalState {
    // CurrentItem's value while it refers to no row of the response log.
    static constexpr int NoRow = -1;

    qint16 TimeoutSeconds = 0; // reply time-out in whole seconds; Form_Load sets 5
    bool CheckingPort = false; // the polling loop keeps running while this is true
    int CurrentItem = NoRow;   // row (counted from 1) a handler is filling or visiting
    QString StreamFileName;    // stream file, and the file the log was last saved to
    bool VisualOutput = false; // true: replies go to the log; Form_Load sets it
    bool Unloading = false;    // the window was asked to close; never reset
};
