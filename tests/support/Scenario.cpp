#include "Scenario.h"

#include "app/Captions.h"
#include "app/frmMain.h"
#include "log/ResponseListView.h"

#include <QApplication>
#include <QDeadlineTimer>
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
