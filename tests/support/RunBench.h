#pragma once

#include "TerminalBench.h"

#include <QStringList>
#include <QTemporaryDir>

class QProcess;
class RunWindow;

// The fields of one CSV record, quotes taken off.
QStringList csvFields(const QString& line);
// The rows of a measurement run's CSV file as "status command=reply value" ("started (…)" and
// "stopped (…)" with their reply in brackets), every pseudo-terminal's name written as DEVICE.
QStringList csvRows(const QString& path);

// Writes the run definition into the folder as run.ini and starts the terminal (`program`)
// offscreen on it with --run; false when the file could not be written.
bool startRunFromCommandLine(QProcess& terminal, const QString& program, const QString& folder,
                             const QByteArray& definition);

// A terminal with an instrument on COM 5, its run window, and a folder for the run's files.
struct RunBench : TerminalBench {
    QTemporaryDir folder;
    QString csv = folder.filePath(QStringLiteral("run.csv"));
    RunWindow* run;

    RunBench();
    // Fills in the run window's fields.
    void define(const QString& commands, const QString& every, const QString& timeout,
                const QString& path);
    void pressStart(); // Start or Stop, queued
    bool running();
    QStringList rows() { return csvRows(csv); }
    bool waitForRows(int count);
};
