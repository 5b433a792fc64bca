#pragma once

#include <QString>
#include <QStringList>

// The terminal's own command-line arguments, after Qt has taken its own (-platform, -style, …):
// `--run FILE` starts the measurement run that FILE defines, `--help` prints the usage.
struct CommandLine {
    bool help = false;
    QString runFile; // empty without --run
    QString error;   // what is wrong with the arguments, or ""

    // Reads the arguments that follow the program's name.
    static CommandLine parse(const QStringList& arguments);
    // What --help prints.
    static QString usage();
};

// Tells the user something from the command line: on standard output, or standard error for an
// error. A Windows program without a console of its own writes to the console it was started
// from, and shows a message box when there is none.
void tellUser(const QString& text, bool error);
