#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

// Tells when the first dialog modal to the whole program opens (a message box, a file prompt:
// while one is open, the polling loop waits for it) and when the last one closes, by watching
// the windows that are shown and hidden.
class ModalWatch : public QObject {
    Q_OBJECT
public:
    explicit ModalWatch(QObject* parent = nullptr);
    bool isModalOpen() const;
    // Whether such a dialog is open now.
    static bool anyOpen();

signals:
    void opened();
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void forgetGone();

    std::vector<QPointer<QWidget>> m_open;
};
