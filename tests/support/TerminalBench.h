#pragma once

#include "PortAliases.h"
#include "PseudoTerminal.h"
#include "Scenario.h"

#include "app/frmMain.h"

#include <QStringList>

#include <memory>

// A terminal window on the test bench: an instrument (a pseudo-terminal) on COM 5, which the
// window has selected; its messages recorded instead of shown. The steps work from a scenario
// body on its worker thread as well as from the GUI thread.
class TerminalBench {
public:
    TerminalBench();

    bool connect();    // presses Connect and waits until the polling loop runs
    bool disconnect(); // presses Disconnect (when connected) and waits until the loop returned
    void setTimeout(int seconds);
    void streamTo(const QString& path); // as if streaming had been switched on to that file
    void stopStreaming();
    // Types into the focused widget and, if asked, presses Enter.
    void type(const QString& text, bool enter);
    // The terminal still works: a fresh instrument on COM 5 is heard and gets a command.
    bool usable();
    QStringList responses(); // the Response cells of the log, in order

    PortAliases aliases;
    std::unique_ptr<PseudoTerminal> line = std::make_unique<PseudoTerminal>();
    frmMain w;
    MessageLog messages{w};
};
