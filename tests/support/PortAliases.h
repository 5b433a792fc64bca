#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private data folder and a private runtime folder for the test process (XDG_DATA_HOME and
// XDG_RUNTIME_DIR point into one temporary folder), so that neither the user's own aliases nor
// a simulator running on the machine can capture the tests' ports. The tests make the user's
// aliases bvterm/ports/comN there for their own pseudo-terminals.
class PortAliases {
public:
    PortAliases();
    ~PortAliases();

    // Points COM n at the device (replacing an alias it had) in the user's alias folder.
    void point(int portNumber, const QString& device);
    void remove(int portNumber);
    // The user's alias folder.
    QString folder() const;
    // The runtime folder that XDG_RUNTIME_DIR names.
    QString runtimeFolder() const;

private:
    // An environment variable pointed at a folder for the test's lifetime.
    struct Saved {
        QByteArray name;
        QByteArray value;
        bool wasSet = false;
    };
    void redirect(Saved& saved, const char* name, const QString& folder);
    static void restore(const Saved& saved);

    QTemporaryDir m_home;
    Saved m_data;
    Saved m_runtime;
};
