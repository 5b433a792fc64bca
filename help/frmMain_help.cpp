#include "app/frmMain.h"
#include "help/HelpCommand.h"

#include <QCoreApplication>
#include <QDir>

void frmMain::cmdCommandList_Click()
{
    startHelpViewer(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}
