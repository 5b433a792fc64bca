#include "Startup.h"

#include "frmMain.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

void applyTerminalLook()
{
#ifdef Q_OS_WIN
    // The platform's own look; the layout is fixed, so it is the same window.
    QApplication::setStyle(QStringLiteral("windowsvista"));
#else
    // One style on every Linux desktop, so that the fixed layout looks the same on each.
    QApplication::setStyle(QStringLiteral("Fusion"));
#endif
    // After the style, which fills in the platform's fonts for menus, tool tips and message
    // boxes: setting the application's font replaces those too.
    QApplication::setFont(frmMain::windowFont());
}

int runTerminal(int argc, char** argv)
{
#ifdef Q_OS_UNIX
    // A pipe whose reader went away is a write failure that the terminal reports, never a
    // signal that ends it. Programs it starts get the default disposition back.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bvterm"));
    applyTerminalLook();

    frmMain window;
    QObject::connect(&window, &frmMain::programEnded, &app, [] { QCoreApplication::exit(0); });
    if (const QScreen* screen = window.screen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    window.show();
    return app.exec();
}
