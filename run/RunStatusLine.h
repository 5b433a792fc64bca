#pragma once

#include <QLabel>

// The run window's status line. A screen reader can read it at any time (its name is the text
// it shows) and hears it only when announce() is asked for: at a run's start, its end and a
// fault, not at every reply.
class RunStatusLine : public QLabel {
    Q_OBJECT
public:
    explicit RunStatusLine(QWidget* parent = nullptr);
    // Shows the text; with `announce`, assistive technology is told that it changed.
    void setStatus(const QString& text, bool announce);
};
