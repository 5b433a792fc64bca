#include "FilePrompt.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPointer>

namespace {

// Icons and types of the listed files, from their names alone. The dialog's file system model
// asks its icon provider for the icon and the type of every entry of a folder, on the window's
// thread, as the listing comes in from its thread; Qt's provider finds both with the MIME
// database in its default mode, which reads the file whenever the name leaves the type open (no
// extension, or one that several types share). Such a read can wait for ever: /proc/kmsg, a
// file on a hung network mount. The platform's file icons are not asked for either, since they
// look into files too. (Qt's dialog also lists the folder it was in last, kept among the user's
// settings, whenever it opens: one prompt in /proc made every later one hang.) Icons of kinds
// (folder, file) come from the style where the desktop's theme has none.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;

    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isDir())
            return icon(Folder);
        const QMimeType type = typeByName(info);
        QIcon themed = QIcon::fromTheme(type.iconName());
        if (themed.isNull())
            themed = QIcon::fromTheme(type.genericIconName());
        return themed.isNull() ? icon(File) : themed;
    }

    QString type(const QFileInfo& info) const override
    {
        // Folders, drives, links and the like are told apart without reading anything.
        if (!info.isFile())
            return QFileIconProvider::type(info);
        const QMimeType type = typeByName(info);
        return type.comment().isEmpty() ? type.name() : type.comment();
    }

private:
    QMimeType typeByName(const QFileInfo& info) const
    {
        return m_types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }

    QMimeDatabase m_types;
};

// Qt's dialog, in which the path of a folder typed into the name box and Enter go into that
// folder and empty the box: the name typed next is then not appended to the folder's path.
class PromptDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QStringList typed = selectedFiles();
        const QString folder = typed.size() == 1 && QFileInfo(typed.first()).isDir()
                                   ? QFileInfo(typed.first()).absoluteFilePath()
                                   : QString();
        QFileDialog::accept();
        if (name && !folder.isEmpty() && isVisible() && directory().absolutePath() == folder)
            name->clear();
    }
};

QFileDialog* makeDialog(QWidget* parent, const FilePrompt& prompt)
{
    auto* dialog = new PromptDialog(parent, prompt.title);
#ifndef Q_OS_WIN
    // Qt's own dialog behaves the same on every desktop. (On Windows the dialog is Windows'
    // own, with the places and columns Windows users know.)
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    static NameOnlyIconProvider namesOnly; // outlives every dialog
    dialog->setIconProvider(&namesOnly);
#endif
    dialog->setAcceptMode(prompt.forOpening ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(prompt.forOpening ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !prompt.confirmOverwrite);
    dialog->setNameFilter(prompt.nameFilter);
    dialog->setDefaultSuffix(prompt.defaultSuffix);
    dialog->setDirectory(prompt.folder);
    if (!prompt.offeredName.isEmpty())
        dialog->selectFile(prompt.offeredName);
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        // Qt's dialog cannot go to the folder of an offered path that is gone, and would offer
        // the path cut to a relative one: it is offered whole.
        const QFileInfo offered(prompt.offeredName);
        if (offered.isAbsolute() && !QFileInfo(offered.absolutePath()).isDir())
            name->setText(prompt.offeredName);
        // The offered name is selected whole, so that typing replaces it.
        name->selectAll();
    }
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
