#include "HelpCommand.h"

#include "app/Failure.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>

#include <string>
#else
#include <csignal>
#endif

namespace {

// xdg-open's exit status when it found no application for the file.
constexpr int NoApplicationFound = 3;

const QString kViewerAdvice =
    QStringLiteral("Install one, for example the Debian package xchm or kchmviewer.");

} // namespace

QString windowsHelpCommandLine(const QString& folder)
{
    // Quoted: an installed program's folder holds blanks (C:\Program Files\BVTerm).
    return QStringLiteral("HH.exe \"") + folder + QStringLiteral("\\") + kHelpFileName +
           QStringLiteral("\"");
}

QString windowsHelpProgram(const QString& windowsFolder)
{
    const QString separator =
        windowsFolder.endsWith(QLatin1Char('\\')) ? QString() : QStringLiteral("\\");
    return windowsFolder + separator + QStringLiteral("hh.exe");
}

HelpProcess desktopHelpProcess(const QString& folder)
{
    const QString separator = folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
    return {QStringLiteral("xdg-open"), {folder + separator + kHelpFileName}};
}

QString noWindowsHelpViewerText(const QString& path, const QString& reason)
{
    return QStringLiteral("The Windows help viewer HH.exe could not be started (%1), so the "
                          "command reference %2 cannot be shown.")
        .arg(systemReason(reason), path);
}

QString helpFilePath(const QString& folder)
{
#ifdef Q_OS_WIN
    return folder + QStringLiteral("\\") + kHelpFileName;
#else
    return desktopHelpProcess(folder).arguments.first();
#endif
}

QString missingHelpFileText(const QString& path, const QString& folder)
{
    return QStringLiteral("The command reference %1 does not exist.\n\n%2 comes with the "
                          "instrument, not with this program: copy it into %3.")
        .arg(path, kHelpFileName, folder);
}

QString noHelpViewerText(const QString& path, bool launcherMissing)
{
    const QString text =
        QStringLiteral("No viewer for .chm files is installed, so the command reference %1 "
                       "cannot be shown. ")
            .arg(path);
    if (launcherMissing)
        return text + QStringLiteral("xdg-open, which starts the viewer, is missing too: install "
                                     "xdg-utils and a viewer, for example the Debian package "
                                     "xchm or kchmviewer.");
    return text + kViewerAdvice;
}

void startHelpViewer(const QString& folder, QObject* owner,
                     const std::function<void(const QString& message)>& noViewer)
{
#ifdef Q_OS_WIN
    // Window style 4: shown at its last size and place without taking the focus. The command
    // line goes as UTF-16, so any folder name reaches the viewer as it is. The program is named
    // by its full path: a bare "HH.exe" is searched for in the program's own folder and in the
    // current folder first.
    wchar_t windowsFolder[MAX_PATH + 1];
    const UINT length = GetSystemWindowsDirectoryW(windowsFolder, MAX_PATH + 1);
    DWORD error = GetLastError();
    if (length > 0 && length <= MAX_PATH) {
        const std::wstring program =
            windowsHelpProgram(QString::fromWCharArray(windowsFolder, int(length))).toStdWString();
        std::wstring commandLine = windowsHelpCommandLine(folder).toStdWString();
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNOACTIVATE;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &started)) {
            // Not waited for, and not kept.
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
            return;
        }
        error = GetLastError(); // before anything else can change it
    } else if (length > MAX_PATH) {
        error = ERROR_BUFFER_OVERFLOW;
    }
    const QString message =
        noWindowsHelpViewerText(helpFilePath(folder), qt_error_string(int(error)));
    if (noViewer)
        QMetaObject::invokeMethod(
            owner ? owner : QCoreApplication::instance(),
            [noViewer, message] { noViewer(message); }, Qt::QueuedConnection);
#else
    const HelpProcess help = desktopHelpProcess(folder);
    const QString path = help.arguments.first();
    auto* process = new QProcess(owner);
    process->setProgram(help.program);
    process->setArguments(help.arguments);
    // The viewer talks to the terminal's own output, as a program started from it would, and
    // reads nothing.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // The terminal ignores SIGPIPE and SIGXFSZ, and an ignored signal would stay ignored across
    // exec.
    process->setChildProcessModifier([] {
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
    });
    // Watched through its signals only: the window never waits for the viewer.
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, path, noViewer](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         if (noViewer)
                             noViewer(noHelpViewerText(path, true));
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, path, noViewer](int exitCode, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status == QProcess::NormalExit && exitCode == NoApplicationFound &&
                             noViewer)
                             noViewer(noHelpViewerText(path, false));
                     });
    process->start();
#endif
}
