#pragma once

#include <QString>
#include <QStringList>

// How the Reference button starts a viewer for the command reference BVTermHelp.chm, which
// lies in the executable's folder.

inline const QString kHelpFileName = QStringLiteral("BVTermHelp.chm");

// Windows: the command line for the HTML help viewer, "HH.exe " followed by the folder (as the
// platform gives it, with a trailing separator only at the root of a drive) and
// "\BVTermHelp.chm", unquoted.
QString windowsHelpCommandLine(const QString& folder);

// Elsewhere: the desktop's viewer for the file, started directly (never through a shell) with
// the file's path as its one argument.
struct HelpProcess {
    QString program;
    QStringList arguments;
};
HelpProcess desktopHelpProcess(const QString& folder);

// Starts a new viewer and does not wait for it; a viewer that cannot be started is ignored.
void startHelpViewer(const QString& folder);
