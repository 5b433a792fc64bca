#pragma once

#include <QString>
#include <QStringList>

// Which running programs hold a device, each as "name (process N)"; none when none is known.
// Only Linux tells (through /proc); elsewhere both say none.

// The program whose controlling terminal the device is, such as the shell of a terminal; the
// session's own program (its leader) when there are several.
QString controllingProcessOf(const QString& devicePath);

// The programs other than this one that hold the device, in the order of their process numbers:
// those that have it open, and one whose number a UUCP lock file of the device holds
// (LCK..NAME in one of `lockFolders`). A program that holds the master of a pseudo-terminal
// (its other end, as the simulator does) is none of them. The kernel shows a user the open files
// of their own processes only, so only those are found, and a lock file names only those too.
QStringList processesHoldingDevice(const QString& devicePath,
                                   const QStringList& lockFolders = {QStringLiteral("/run/lock"),
                                                                     QStringLiteral("/var/lock")});
