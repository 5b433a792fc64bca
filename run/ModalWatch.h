#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

// Tells when the first modal dialog of the program opens (a message box, a file prompt) and
// when the last one closes, by watching the windows that are shown and hidden.
class ModalWatch : public QObject {
    Q_OBJECT
public:
    explicit ModalWatch(QObject* parent = nullptr);
    bool isModalOpen() const;

signals:
    void opened();
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void forgetGone();

    std::vector<QPointer<QWidget>> m_open;
};
