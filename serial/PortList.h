#pragma once

#include <QComboBox>

// The port list: a drop-down list that says when its list is about to open, so that the ports
// it offers can be read afresh first.
class PortList : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void aboutToShowPopup();
};
