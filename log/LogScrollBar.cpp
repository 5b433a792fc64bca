#include "LogScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

LogScrollBar::LogScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent)
{
    // Opaque: a change repaints the bar alone, not the frame and the group box behind it too.
    setAutoFillBackground(true);
}

QRect LogScrollBar::handleRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void LogScrollBar::sliderChange(SliderChange change)
{
    // The style draws the bar from the places of its parts alone, which only the handle's
    // place can change here. (Setting the page step counts as a change even when it is the
    // same.)
    if (change == SliderRangeChange || change == SliderValueChange || change == SliderStepsChange) {
        if (m_changing || handleRect() == m_paintedHandle)
            return;
    }
    QScrollBar::sliderChange(change);
}

void LogScrollBar::endChange()
{
    m_changing = false;
    if (handleRect() != m_paintedHandle)
        update();
}

void LogScrollBar::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    m_paintedHandle = handleRect();
}
