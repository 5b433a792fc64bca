#pragma once

#include <QTimer>
#include <QWidget>

class QLineEdit;

// An up-down spinner bound to a text box: two arrow buttons that step a whole number between
// two bounds without wrapping. Each change writes the new value into the buddy box first and
// then emits valueChanged. Arrow keys and the mouse wheel step it too.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    void setSingleStep(int step) { m_step = step; }
    void setBuddy(QLineEdit* buddy) { m_buddy = buddy; }
    QLineEdit* buddy() const { return m_buddy; }
    void setValue(int value);
    int value() const { return m_value; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int singleStep() const { return m_step; }
    void stepBy(int steps);

    QSize sizeHint() const override { return {16, 23}; }

signals:
    void valueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class Button { None, Up, Down };
    QRect buttonRect(Button button) const;
    void repeatStep();

    QLineEdit* m_buddy = nullptr;
    int m_value = 0;
    int m_minimum = 0;
    int m_maximum = 99;
    int m_step = 1;
    int m_wheelRemainder = 0;
    Button m_pressed = Button::None;
    QTimer m_repeat;
};
