#include "LogScrollBar.h"

#include <algorithm>
#include <cstdlib>

#include <QRegion>
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
    const QRect handle = handleRect();
    if (handle == m_paintedHandle)
        return;
    // Fusion draws the groove and the handle alike along the bar's whole length, except at the
    // handle's ends (its outline): only the strips where an end was or is now can change. A
    // repaint of the whole bar fills its full height, which Qt's raster engine splits over its
    // image threads and waits for, at every frame. Other styles may draw in the middle of the
    // handle (a grip): the whole bar is repainted there.
    if (style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0 ||
        m_paintedHandle.isEmpty() || handle.isEmpty()) {
        update();
        return;
    }
    constexpr int outline = 2; // the outline is drawn one pixel beyond the handle; one to spare
    const auto strip = [this](int from, int to) {
        return QRect(0, std::min(from, to) - outline, width(),
                     std::abs(to - from) + 2 * outline + 1);
    };
    update(QRegion(strip(m_paintedHandle.top(), handle.top())) +
           strip(m_paintedHandle.bottom(), handle.bottom()));
}

void LogScrollBar::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    m_paintedHandle = handleRect();
}
