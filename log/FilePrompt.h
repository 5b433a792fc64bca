#pragma once

#include <QString>

#include <functional>

class QWidget;

// The terminal's prompt for a file name: Windows' own file dialog on Windows, Qt's dialog
// elsewhere. Fill in what it shows, then ask() (waits) or open() (returns at once). The result is
// the chosen path with the platform's separators, or "" when no file was chosen.
struct FilePrompt {
    QString title;
    QString nameFilter;    // one entry, such as "Text Files (*.txt)"
    QString defaultSuffix; // added to a name typed without an extension ("txt"); "" adds none
    QString folder;        // where the prompt starts
    QString offeredName;   // a name, or a whole path (its folder then wins); "" offers none
    bool confirmOverwrite = false; // asks before an existing file is chosen
    bool forOpening = false;       // an existing file to read, rather than a name to write

    // Modal to the parent's window; runs the events meanwhile and returns the choice.
    QString ask(QWidget* parent) const;
    // Modal to the parent's window only, and returns at once: the rest of the program goes on
    // meanwhile. `chosen` gets the choice when the prompt closes.
    void open(QWidget* parent, std::function<void(const QString& path)> chosen) const;
};
