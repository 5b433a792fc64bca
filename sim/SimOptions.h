#pragma once

#include <QString>
#include <QStringList>

// The simulator's command line.
struct SimOptions {
    int com = 5;               // publishes itself as COM n
    int talkMs = 0;            // unsolicited readings every so many ms; 0: none
    int delayMs = 0;           // replies wait this long before they are sent
    int stallMs = -1;          // replies are sent in two halves this far apart; -1: whole
    bool lineFeedOnly = false; // lines end with LF instead of CR LF
    unsigned seed = 1;
    bool help = false;
};

// Parses the arguments (without the program name); on a mistake returns false and says why.
bool parseSimOptions(const QStringList& arguments, SimOptions* options, QString* error);
QString simUsage();
