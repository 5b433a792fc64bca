#pragma once

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QMutex>
#include <QString>
#include <QThread>

#include <functional>
#include <type_traits>
#include <vector>

class frmMain;

// Runs `f` on the GUI thread and returns its result; from the GUI thread itself it simply
// calls it. A test body running on a worker thread reads and drives the window this way.
template <typename F> auto onGui(F f)
{
    using Result = std::invoke_result_t<F>;
    if (QThread::currentThread() == qApp->thread())
        return f();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(qApp, std::move(f), Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(qApp, std::move(f), Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

// Queues `f` to the GUI thread and returns at once: for actions that do not return while the
// terminal is connected, such as pressing Connect, or that open a modal dialog.
void postToGui(std::function<void()> f);

// A message the window showed.
struct ShownMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Records the window's messages instead of showing modal boxes.
class MessageLog {
public:
    explicit MessageLog(frmMain& window);
    std::vector<ShownMessage> all() const;
    int count() const;
    ShownMessage last() const;
    void clear();

private:
    mutable QMutex m_mutex;
    std::vector<ShownMessage> m_messages;
};

// Runs a test body on a worker thread while this (GUI) thread runs the window, so that the body
// can wait and check while the polling loop runs nested inside a Connect handler. Afterwards
// any modal dialog is dismissed and the terminal disconnected, so that the loop has returned.
void runScenario(frmMain& window, const std::function<void()>& body);

// The file prompt as a scenario body sees it and answers it, like a user at the keyboard.
struct FileDialogView {
    QString title;
    QStringList nameFilters;
    QString directory;
    QString offeredName;       // the name in the file name box
    bool nameSelected = false; // all of it, so that typing replaces it
    bool nameHasFocus = false; // the dialog's keyboard focus is in that box
    bool native = true;
    bool saveForm = false;
    bool confirmsOverwrite = false;
};
// Waits for the modal file dialog and describes it; false when none came.
bool waitForFileDialog(FileDialogView* view = nullptr, int timeoutMs = 5000);
// Types the path into the dialog and presses its Save button, answering "replace?" with Yes;
// `askedToReplace`, when given, tells whether that question came.
bool answerFileDialog(const QString& path, bool* askedToReplace = nullptr);
// Closes the dialog without choosing a file.
bool dismissFileDialog();
// Waits until no modal dialog is open.
bool waitForNoModal(int timeoutMs = 5000);

// Helpers for scenario bodies; they work from the worker and from the GUI thread.
void pressConnect(frmMain& window); // queues a click on the Connect (or Disconnect) button
// Waits until the condition holds; false when it did not within the time.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
bool isConnected(frmMain& window); // the caption says Disconnect and a loop is polling
int logRowCount(frmMain& window);
QString logCell(frmMain& window, int row, int column); // row counted from 1
