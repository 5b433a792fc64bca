#include "FilePrompt.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>

namespace {

QFileDialog* makeDialog(QWidget* parent, const FilePrompt& prompt)
{
    auto* dialog = new QFileDialog(parent, prompt.title);
    // Qt's own dialog behaves the same on every desktop.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(prompt.forOpening ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(prompt.forOpening ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !prompt.confirmOverwrite);
    dialog->setNameFilter(prompt.nameFilter);
    dialog->setDefaultSuffix(prompt.defaultSuffix);
    dialog->setDirectory(prompt.folder);
    if (!prompt.offeredName.isEmpty())
        dialog->selectFile(prompt.offeredName);
    // The offered name is selected whole, so that typing replaces it.
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->selectAll();
    return dialog;
}

QString chosenPath(const QFileDialog& dialog, int result)
{
    if (result != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : QDir::toNativeSeparators(files.first());
}

// The keyboard goes back to the control that had it before the prompt, also where no window
// manager hands it back.
void giveKeyboardBack(QWidget* window, const QPointer<QWidget>& hadFocus)
{
    if (!window)
        return;
    window->activateWindow();
    if (hadFocus && hadFocus->isVisible() && hadFocus->isEnabled())
        hadFocus->setFocus();
}

} // namespace

QString FilePrompt::ask(QWidget* parent) const
{
    const QPointer<QWidget> window = parent ? parent->window() : nullptr;
    const QPointer<QWidget> hadFocus = window ? window->focusWidget() : nullptr;
    QFileDialog* dialog = makeDialog(parent, *this);
    const int result = dialog->exec();
    const QString chosen = chosenPath(*dialog, result);
    // Gone with the prompt, nothing of the dialog can come up over the window afterwards (its
    // completion list does when the listing of a folder arrives after the dialog has closed).
    delete dialog;
    giveKeyboardBack(window, hadFocus);
    return chosen;
}

void FilePrompt::open(QWidget* parent, std::function<void(const QString& path)> chosen) const
{
    const QPointer<QWidget> window = parent ? parent->window() : nullptr;
    const QPointer<QWidget> hadFocus = window ? window->focusWidget() : nullptr;
    QFileDialog* dialog = makeDialog(parent, *this);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, window, hadFocus, chosen = std::move(chosen)](int result) {
                         const QString path = chosenPath(*dialog, result);
                         dialog->deleteLater();
                         giveKeyboardBack(window, hadFocus);
                         if (chosen)
                             chosen(path);
                     });
    dialog->open();
}
