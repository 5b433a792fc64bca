// Starts the terminal as the program does, opens the chart of readings, then closes the
// terminal's window, and says what happened: "chart open", "window closed" and, once the
// program's run has returned, "program ended". With "connected" it first connects to an
// instrument on a pseudo-terminal, so that the window closes while the polling loop runs.

#include "app/Startup.h"
#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

bool g_connect = false;

void say(const char* what)
{
    std::printf("%s\n", what);
    std::fflush(stdout);
}

frmMain* terminalWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<frmMain*>(widget))
            return window;
    return nullptr;
}

void openChartAndClose()
{
    frmMain* w = terminalWindow();
    w->mnuChart->trigger();
    auto* chart = w->findChild<ChartWindow*>();
    if (chart && chart->isVisible())
        say("chart open");
    w->close();
    say("window closed");
}

// Runs once the program has made its application object: the steps wait for the window.
void scheduleSteps()
{
    QTimer::singleShot(200, qApp, [] {
        frmMain* w = terminalWindow();
        if (!w)
            return;
        if (!g_connect) {
            openChartAndClose();
            return;
        }
        w->cboPort->setCurrentIndex(4);
        QTimer::singleShot(300, qApp, openChartAndClose);
        w->cmdConnect->click(); // returns when the polling loop ends
    });
    // Should the program not end, say so rather than hang the test.
    QTimer::singleShot(20000, qApp, [] {
        say("still running");
        std::_Exit(3);
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(scheduleSteps)

int main(int argc, char** argv)
{
    g_connect = argc > 1 && std::strcmp(argv[1], "connected") == 0;
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(5, line.slavePath());
    const int result = runTerminal(argc, argv);
    say("program ended");
    return result;
}
