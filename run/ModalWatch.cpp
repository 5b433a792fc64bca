#include "ModalWatch.h"

#include <QApplication>
#include <QEvent>

#include <algorithm>

ModalWatch::ModalWatch(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
    // A dialog that is open already counts.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowModality() == Qt::ApplicationModal)
            m_open.emplace_back(window);
}

bool ModalWatch::anyOpen()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) {
        return window->isVisible() && window->windowModality() == Qt::ApplicationModal;
    });
}

bool ModalWatch::isModalOpen() const
{
    return std::any_of(m_open.begin(), m_open.end(), [](const QPointer<QWidget>& w) { return w; });
}

void ModalWatch::forgetGone()
{
    m_open.erase(std::remove_if(m_open.begin(), m_open.end(),
                                [](const QPointer<QWidget>& w) { return !w || !w->isVisible(); }),
                 m_open.end());
}

bool ModalWatch::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::Hide)
        return false;
    // Only a dialog modal to the whole program runs an event loop of its own (exec) that holds
    // the polling loop; one modal to its window only (the chart's) returns at once.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWindow() || widget->windowModality() != Qt::ApplicationModal)
        return false;
    const bool wasOpen = isModalOpen();
    if (type == QEvent::Show) {
        if (std::find(m_open.begin(), m_open.end(), widget) == m_open.end())
            m_open.emplace_back(widget);
    } else {
        m_open.erase(std::remove(m_open.begin(), m_open.end(), widget), m_open.end());
        forgetGone();
    }
    const bool isOpen = isModalOpen();
    if (isOpen && !wasOpen)
        emit opened();
    else if (!isOpen && wasOpen)
        emit closed();
    return false;
}
