#include "app/frmMain.h"
#include "help/HelpCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void frmMain::cmdCommandList_Click()
{
    const QString title = QStringLiteral("Reference");
    const QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    const QString file = helpFilePath(folder);
    // The viewer would only say so on its error output, where the user does not look.
    if (!QFileInfo::exists(file)) {
        showMessage(QMessageBox::Information, title, missingHelpFileText(file, folder));
        return;
    }
    startHelpViewer(folder, this, [this, title](const QString& message) {
        showMessage(QMessageBox::Warning, title, message);
    });
}
