// Starts the terminal as the program does, opens the chart of readings, then closes the
// terminal's window, and says what happened: "chart open", "window closed" and, once the
// program's run has returned, "program ended". With "connected" it first connects to an
// instrument on a pseudo-terminal, so that the window closes while the polling loop runs.
// With "placement N" it moves the terminal's window to screen N, opens the chart and says where
// it opened instead: "terminal on: <screen>", "chart on: <screen>", "chart: x y width height"
// (without the window's frame), "chart frame: …", "terminal frame: …", "log: …" (where the
// terminal's log is) and "available: …" of the terminal's screen.

#include "app/Startup.h"
#include "app/frmMain.h"
#include "chart/ChartWindow.h"
#include "log/ResponseListView.h"
#include "support/PortAliases.h"
#include "support/PseudoTerminal.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool g_connect = false;
int g_placementScreen = -1;

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
    auto* chart = w->chartWindow();
    if (chart && chart->isVisible())
        say("chart open");
    w->close();
    say("window closed");
}

void sayRect(const char* what, const QRect& rect)
{
    std::printf("%s: %d %d %d %d\n", what, rect.x(), rect.y(), rect.width(), rect.height());
}

void openChartAndSayWhere(frmMain* w)
{
    QScreen* screen = QGuiApplication::screens().value(g_placementScreen);
    if (screen) {
        QRect frame = w->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        w->move(frame.topLeft());
    }
    w->mnuChart->trigger();
    auto* chart = w->chartWindow();
    if (!chart)
        return;
    std::printf("terminal on: %s\n", qPrintable(w->screen()->name()));
    std::printf("chart on: %s\n", qPrintable(chart->screen()->name()));
    sayRect("chart", chart->geometry());
    sayRect("chart frame", chart->frameGeometry());
    sayRect("terminal frame", w->frameGeometry());
    sayRect("log", QRect(w->lstResponse->mapToGlobal(QPoint()), w->lstResponse->size()));
    sayRect("available", w->screen()->availableGeometry());
    w->close();
}

// Runs once the program has made its application object: the steps wait for the window.
void scheduleSteps()
{
    QTimer::singleShot(200, qApp, [] {
        frmMain* w = terminalWindow();
        if (!w)
            return;
        if (g_placementScreen >= 0) {
            openChartAndSayWhere(w);
            return;
        }
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
    if (argc > 2 && std::strcmp(argv[1], "placement") == 0)
        g_placementScreen = std::atoi(argv[2]);
    PortAliases aliases;
    PseudoTerminal line;
    aliases.point(5, line.slavePath());
    // The probe's own arguments are not the terminal's.
    int programOnly = 1;
    const int result = runTerminal(programOnly, argv);
    say("program ended");
    return result;
}
