#pragma once

#include <QString>

// Which running program holds a device, as "name (process N)", or "" when none is known. Only
// Linux tells (through /proc); elsewhere both say "".

// The program whose controlling terminal the device is, such as the shell of a terminal; the
// session's own program (its leader) when there are several.
QString controllingProcessOf(const QString& devicePath);

// A program other than this one that has the device open. The kernel shows a user the open
// files of their own processes only, so only those are found.
QString processWithDeviceOpen(const QString& devicePath);
