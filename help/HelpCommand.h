#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

// How the Reference button starts a viewer for the command reference BVTermHelp.chm, which
// lies in the executable's folder, and what it tells the user when the reference cannot be
// shown.

inline const QString kHelpFileName = QStringLiteral("BVTermHelp.chm");

// Windows: the command line for the HTML help viewer, "HH.exe " followed by the quoted path:
// the folder (as the platform gives it, with a trailing separator only at the root of a drive)
// and "\BVTermHelp.chm".
QString windowsHelpCommandLine(const QString& folder);

// Windows: the viewer's program, hh.exe in the shared Windows folder (as the system gives it,
// with a trailing separator only at the root of a drive). Started by this full path, the
// viewer cannot be replaced by an HH.exe beside the program or in the current folder.
QString windowsHelpProgram(const QString& windowsFolder);

// Elsewhere: the desktop's viewer for the file, started directly (never through a shell) with
// the file's path as its one argument.
struct HelpProcess {
    QString program;
    QStringList arguments;
};
HelpProcess desktopHelpProcess(const QString& folder);

// The help file's path in `folder`, as the viewer is given it.
QString helpFilePath(const QString& folder);

// The message when the help file is not in the folder: its path, and where it goes.
QString missingHelpFileText(const QString& path, const QString& folder);

// The message when no viewer can show the file; `launcherMissing`: xdg-open itself is missing.
QString noHelpViewerText(const QString& path, bool launcherMissing);
// Windows: the message when HH.exe could not be started, with the system's reason.
QString noWindowsHelpViewerText(const QString& path, const QString& reason);

// Starts a new viewer and does not wait for it; the viewer starts with the default signal
// dispositions. When it turns out that no viewer can show the file (no program for .chm files,
// or no xdg-open), `noViewer` is called later, from the event loop, with the message to show.
// The watch ends with `owner`.
void startHelpViewer(const QString& folder, QObject* owner = nullptr,
                     const std::function<void(const QString& message)>& noViewer = {});
