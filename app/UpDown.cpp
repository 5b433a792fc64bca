#include "UpDown.h"
#include "UpDownAccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWheelEvent>

namespace {
constexpr int RepeatDelayMs = 400;
constexpr int RepeatIntervalMs = 60;
} // namespace

UpDown::UpDown(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    m_repeat.setInterval(RepeatIntervalMs);
    connect(&m_repeat, &QTimer::timeout, this, &UpDown::repeatStep);
    makeUpDownAccessible();
}

void UpDown::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    setValue(m_value);
}

void UpDown::setValue(int value)
{
    value = std::clamp(value, m_minimum, m_maximum);
    if (value == m_value)
        return;
    m_value = value;
    if (m_buddy)
        m_buddy->setText(QString::number(value));
    if (QAccessible::isActive()) {
        // Heard as the new value when the arrows or keys step it.
        QAccessibleValueChangeEvent event(this, value);
        QAccessible::updateAccessibility(&event);
    }
    emit valueChanged(value);
}

void UpDown::stepBy(int steps)
{
    setValue(m_value + steps * m_step);
}

QRect UpDown::buttonRect(Button button) const
{
    const int half = height() / 2;
    return button == Button::Up ? QRect(0, 0, width(), half)
                                : QRect(0, half, width(), height() - half);
}

void UpDown::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (Button button : {Button::Up, Button::Down}) {
        QStyleOptionButton bevel;
        bevel.initFrom(this);
        bevel.rect = buttonRect(button);
        bevel.state &= ~QStyle::State_HasFocus;
        bevel.state |= m_pressed == button ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawControl(QStyle::CE_PushButtonBevel, &bevel, &painter, this);

        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = bevel.rect.adjusted(3, 2, -3, -2);
        if (m_pressed == button)
            arrow.rect.translate(1, 1);
        style()->drawPrimitive(button == Button::Up ? QStyle::PE_IndicatorArrowUp
                                                    : QStyle::PE_IndicatorArrowDown,
                               &arrow, &painter, this);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void UpDown::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    m_pressed = buttonRect(Button::Up).contains(pos) ? Button::Up : Button::Down;
    update();
    repeatStep();
    m_repeat.start(RepeatDelayMs);
}

void UpDown::mouseReleaseEvent(QMouseEvent*)
{
    m_repeat.stop();
    m_pressed = Button::None;
    update();
}

void UpDown::repeatStep()
{
    if (m_repeat.isActive())
        m_repeat.setInterval(RepeatIntervalMs);
    stepBy(m_pressed == Button::Up ? 1 : m_pressed == Button::Down ? -1 : 0);
}

void UpDown::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        break;
    case Qt::Key_Down:
        stepBy(-1);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UpDown::wheelEvent(QWheelEvent* event)
{
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRemainder -= steps * QWheelEvent::DefaultDeltasPerStep;
    stepBy(steps);
    event->accept();
}

void UpDown::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        m_repeat.stop();
        m_pressed = Button::None;
    }
    QWidget::changeEvent(event);
}
