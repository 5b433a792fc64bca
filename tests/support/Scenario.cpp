#include "Scenario.h"

#include "app/Captions.h"
#include "app/frmMain.h"
#include "log/ResponseListView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <atomic>
#include <thread>

void postToGui(std::function<void()> f)
{
    QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection);
}

MessageLog::MessageLog(frmMain& window)
{
    window.setMessageSink(
        [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
            QMutexLocker lock(&m_mutex);
            m_messages.push_back({icon, title, text});
        });
}

std::vector<ShownMessage> MessageLog::all() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

int MessageLog::count() const
{
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_messages.size());
}

ShownMessage MessageLog::last() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages.empty() ? ShownMessage{QMessageBox::NoIcon, {}, {}} : m_messages.back();
}

void MessageLog::clear()
{
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
}

void pressConnect(frmMain& window)
{
    postToGui([&window] { window.cmdConnect->click(); });
}

namespace {

QFileDialog* modalFileDialog()
{
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
}

} // namespace

bool waitForFileDialog(FileDialogView* view, int timeoutMs)
{
    if (!waitUntil([] { return onGui([] { return modalFileDialog() != nullptr; }); }, timeoutMs))
        return false;
    if (view) {
        *view = onGui([] {
            QFileDialog* dialog = modalFileDialog();
            FileDialogView seen;
            seen.title = dialog->windowTitle();
            seen.nameFilters = dialog->nameFilters();
            seen.directory = dialog->directory().absolutePath();
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                seen.offeredName = name->text();
                seen.nameSelected = name->selectedText() == name->text();
                seen.nameHasFocus = dialog->focusWidget() == name;
            }
            seen.native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
            seen.saveForm = dialog->acceptMode() == QFileDialog::AcceptSave;
            seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            return seen;
        });
    }
    return true;
}

bool answerFileDialog(const QString& path, bool* askedToReplace)
{
    if (askedToReplace)
        *askedToReplace = false;
    if (!waitForFileDialog())
        return false;
    // Pressing Save may ask whether to replace the file (a nested box): post it, then answer.
    postToGui([path] {
        QFileDialog* dialog = modalFileDialog();
        if (!dialog)
            return;
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // as the Save button does
    });
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        const int state = onGui([] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                    QMetaObject::invokeMethod(yes, &QAbstractButton::click, Qt::QueuedConnection);
                    return 3;
                }
                return 1;
            }
            return modal == nullptr || qobject_cast<QFileDialog*>(modal) == nullptr ? 0 : 2;
        });
        if (state == 0)
            return true;
        if (state == 3 && askedToReplace)
            *askedToReplace = true;
        QThread::msleep(5);
    }
    return false;
}

bool dismissFileDialog()
{
    if (!waitForFileDialog())
        return false;
    postToGui([] {
        if (QFileDialog* dialog = modalFileDialog())
            dialog->reject();
    });
    return waitForNoModal();
}

bool waitForNoModal(int timeoutMs)
{
    return waitUntil(
        [] { return onGui([] { return QApplication::activeModalWidget() == nullptr; }); },
        timeoutMs);
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}

bool isConnected(frmMain& window)
{
    return onGui([&window] {
        return window.cmdConnect->text() == kDisconnectCaption && window.isPolling();
    });
}

int logRowCount(frmMain& window)
{
    return onGui([&window] { return window.lstResponse->Count(); });
}

QString logCell(frmMain& window, int row, int column)
{
    return onGui([&window, row, column] {
        const LogRow cells = window.lstResponse->Row(row);
        return column == 0 ? cells.Command : cells.Response;
    });
}

namespace {

// Dismisses modal dialogs and disconnects, waiting until no polling loop runs.
void settle(frmMain& window)
{
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const bool busy = onGui([&window] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
                return true;
            }
            // A window that was closed stays as it was; only its loop must have returned.
            if (window.state().Unloading)
                return window.isPolling();
            if (window.cmdConnect->text() == kDisconnectCaption) {
                postToGui([&window] {
                    if (window.cmdConnect->text() == kDisconnectCaption)
                        window.cmdConnect->click();
                });
                return true;
            }
            return window.isPolling();
        });
        if (!busy)
            return;
        QThread::msleep(5);
    }
    qWarning("the terminal could not be brought back to rest");
}

} // namespace

void runScenario(frmMain& window, const std::function<void()>& body)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        settle(window);
        done = true;
        postToGui([] {}); // wakes the GUI thread
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
}
