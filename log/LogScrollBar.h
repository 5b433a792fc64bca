#pragma once

#include <QRect>
#include <QScrollBar>

// The log's vertical scroll bar, repainted only when its handle has moved or changed its size.
// Every frame that adds rows changes its range, and with a log longer than a few screens that
// leaves the handle where it was to the pixel; painting the bar all the same would cost more
// than the frame's rows (the style fills its groove and draws its outlines line by line, which
// Qt spreads over its image threads).
class LogScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit LogScrollBar(QWidget* parent = nullptr);

    // The changes of range and value made between these two are shown together, so that a
    // frame that widens the range and then moves to its end repaints nothing when the handle
    // ends where it was.
    void beginChange() { m_changing = true; }
    void endChange();

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect handleRect() const;

    QRect m_paintedHandle; // where the last paint drew the handle
    bool m_changing = false;
};
