#include "app/frmMain.h"
#include "log/ResponseListView.h"
#include "log/StreamingColors.h"
#include "log/TextFiles.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QPushButton>

void frmMain::cmdClear_Click()
{
    lstResponse->Clear();
    // The rows that follow are not joined to those cleared away.
    lstResponse->model().markBreak();
    cmdSave->setEnabled(false);
}

void frmMain::addNoticeRow(const QString& notice)
{
    State.CurrentItem = lstResponse->AddRow(QString(), RowKind::Notice);
    lstResponse->SetResponse(State.CurrentItem, notice);
    lstResponse->EnsureVisible(State.CurrentItem);
    State.CurrentItem = TerminalState::NoRow;
}

void frmMain::chkStream_Click()
{
    if (chkStream->checkState() == Qt::Checked) {
        // The stream file is appended to: choosing an existing one asks nothing.
        State.StreamFileName = AskFileName(false);
        // A dismissed prompt has already switched streaming off again, nested in this run.
        if (State.StreamFileName.isEmpty())
            return;
        // Found out now rather than at the first reply: a file that cannot be appended to
        // switches streaming off again as a line that failed does, and the next prompt offers
        // it again.
        const QString failure = checkAppendable(State.StreamFileName);
        if (!failure.isEmpty()) {
            showMessage(QMessageBox::Warning, QStringLiteral("Error"),
                        streamFailureText(State.StreamFileName, failure));
            chkStream->setChecked(false);
            return;
        }
        State.CurrentItem = lstResponse->AddRow(QString(), RowKind::Notice);
        State.VisualOutput = false;
        lstResponse->SetBackColor(streamingBackground());
        lstResponse->SetResponse(State.CurrentItem,
                                 QStringLiteral("Data is going to be streamed to ") +
                                     State.StreamFileName);
        lstResponse->EnsureVisible(State.CurrentItem);
        State.CurrentItem = TerminalState::NoRow;
    } else {
        State.VisualOutput = true;
        lstResponse->SetBackColor(loggingBackground());
        addNoticeRow(QStringLiteral("Data streaming canceled. "));
    }
}

QString frmMain::AskFileName(bool replacesFile)
{
    FileName.nameFilter = QStringLiteral("Text Files (*.txt)");
    // Ask before an existing file is overwritten, and only then: Save replaces the file it is
    // given, while streaming appends to it.
    FileName.confirmOverwrite = replacesFile;
    FileName.title = QStringLiteral("Please enter a file name");
    FileName.folder = promptFolder(QCoreApplication::applicationDirPath());
#ifdef Q_OS_WIN
    // As Windows users expect, a name typed without an extension gets the filter's.
    FileName.defaultSuffix = QStringLiteral("txt");
#endif
    const QString chosen = FileName.ask(this);
    if (!chosen.isEmpty()) {
        FileName.offeredName = chosen;
        return chosen;
    }
    // Nothing chosen: the stream switch goes off (its handler runs now if it was on).
    chkStream->setChecked(false);
    return QString();
}

void frmMain::cmdSave_Click()
{
    State.StreamFileName = AskFileName(true);
    if (State.StreamFileName.isEmpty())
        return;
    const QString path = State.StreamFileName;
    const QString date = savedLogDate(localNow());
    const int rows = lstResponse->Count();
    const QString failure = writeWholeFile(path, [&](QIODevice& out) {
        return writeSavedLog(out, date, rows, [this](int row) {
            State.CurrentItem = row;
            return lstResponse->Row(row);
        });
    });
    State.CurrentItem = TerminalState::NoRow;
    // The file is complete and on disk before the user is told so.
    if (failure.isEmpty())
        showMessage(QMessageBox::Information, QStringLiteral("Info"),
                    QStringLiteral("The data are in ") + path);
    else
        showMessage(QMessageBox::Information, QStringLiteral("Error"),
                    QStringLiteral("The log could not be saved to %1: %2.").arg(path, failure));
}
