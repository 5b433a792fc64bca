#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class RunStatusLine;
struct RunDefinition;

// The "Measurement Run" window: the run's commands, period, reply time-out, cycles and CSV file,
// Start (Stop while a run goes on), Open… and Save… for run definitions, and the status line. A
// window of its own, not modal: closing it only hides it. What the buttons do is the terminal's.
class RunWindow : public QDialog {
    Q_OBJECT
public:
    explicit RunWindow(QWidget* parent = nullptr);

    // The run the fields define (the terminal's port, rate and reply time-out are not the
    // window's), or "" when they define none: then the refusal, naming what is wrong.
    QString readDefinition(RunDefinition* definition) const;
    void showDefinition(const RunDefinition& definition);
    // While a run goes on the fields cannot be changed and no button is the default, so that a
    // stray Enter never stops a run.
    void setRunning(bool running);
    bool isRunning() const { return m_running; }
    void setStatus(const QString& text, bool announce);

    QPlainTextEdit* txtCommands = nullptr;
    QLineEdit* txtEvery = nullptr;
    QLineEdit* txtReplyTimeout = nullptr;
    QSpinBox* spnCycles = nullptr;
    QLineEdit* txtCsvFile = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdSave = nullptr;
    RunStatusLine* lblStatus = nullptr;

signals:
    void startClicked(); // Start or Stop: the caption says which
    void browseClicked();
    void openClicked();
    void saveClicked();

private:
    bool m_running = false;
};
