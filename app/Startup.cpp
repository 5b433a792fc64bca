#include "Startup.h"

#include "CommandLine.h"
#include "frmMain.h"
#include "run/RunDefinition.h"
#include "run/RunWindow.h"
#include "serial/PortNames.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// Exit status for arguments that are not understood or a run definition that cannot be used.
constexpr int BadArguments = 2;

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

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
    // Likewise a file that reaches the size limit set for the process fails to be written (a
    // measurement run keeps its rows and writes them again) rather than ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // The usage needs no display: it is printed before Qt starts.
    if (CommandLine::parse(argumentsOf(argc, argv)).help) {
        tellUser(CommandLine::usage(), false);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("bvterm"));
    // Qt has taken its own options; what is left is the terminal's.
    const CommandLine line = CommandLine::parse(QApplication::arguments().mid(1));
    if (!line.error.isEmpty()) {
        tellUser(QStringLiteral("bvterm: %1 Try \"bvterm --help\".\n").arg(line.error), true);
        return BadArguments;
    }
    applyTerminalLook();

    RunDefinition run;
    if (!line.runFile.isEmpty()) {
        const QString error = RunDefinitionFile::read(
            line.runFile,
            [](int port) {
                return PortNames::listedPorts(PortNames::systemPorts(), 0).contains(port);
            },
            &run);
        if (!error.isEmpty()) {
            tellUser(QStringLiteral("bvterm: %1\n").arg(error), true);
            return BadArguments;
        }
    }
    frmMain window;
    QObject::connect(&window, &frmMain::programEnded, &app, [] { QCoreApplication::exit(0); });
    if (const QScreen* screen = window.screen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    window.show();
    if (!line.runFile.isEmpty()) {
        // Recording starts with no key pressed, once the event loop runs.
        window.applyRunSettings(run);
        window.runWindow()->showDefinition(run);
        QTimer::singleShot(0, &window, [&window, run] {
            window.mnuRun_Click();
            window.startRun(run, true);
        });
    }
    return app.exec();
}
