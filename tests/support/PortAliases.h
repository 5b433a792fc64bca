#pragma once

#include <QString>
#include <QTemporaryDir>

// A private data folder for the test process (XDG_DATA_HOME points at it), in which the tests
// make the port aliases bvterm/ports/comN for their own pseudo-terminals.
class PortAliases {
public:
    PortAliases();
    ~PortAliases();

    // Points COM n at the device (replacing an alias it had).
    void point(int portNumber, const QString& device);
    void remove(int portNumber);
    QString folder() const;

private:
    QTemporaryDir m_home;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
