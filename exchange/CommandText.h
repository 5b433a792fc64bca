#pragma once

#include <QString>
#include <QStringList>

// The characters of a command that have no byte of their own on the line (anything beyond
// U+00FF), each named once in the order they first appear, as "\"−\" (U+2212)". Empty when the
// whole command can be sent.
QStringList unsendableCharacters(const QString& command);
