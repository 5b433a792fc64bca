#include "HelpCommand.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString windowsHelpCommandLine(const QString& folder)
{
    return QStringLiteral("HH.exe ") + folder + QStringLiteral("\\") + kHelpFileName;
}

HelpProcess desktopHelpProcess(const QString& folder)
{
    const QString separator = folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
    return {QStringLiteral("xdg-open"), {folder + separator + kHelpFileName}};
}

void startHelpViewer(const QString& folder)
{
#ifdef Q_OS_WIN
    // Window style 4: shown at its last size and place without taking the focus.
    WinExec(windowsHelpCommandLine(folder).toLocal8Bit().constData(), SW_SHOWNOACTIVATE);
#else
    const HelpProcess process = desktopHelpProcess(folder);
    QProcess::startDetached(process.program, process.arguments);
#endif
}
