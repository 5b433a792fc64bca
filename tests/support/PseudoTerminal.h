#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal whose master side plays the instrument: the terminal under test opens the
// slave device, the test writes the instrument's bytes to the master and reads what the
// terminal sent. The slave stays open here too, in raw mode, so that its settings can be read
// and closing the terminal's side does not hang the line up.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString slavePath() const { return m_slavePath; }
    bool isOpen() const { return m_master >= 0; }

    // Writes all bytes to the line (blocking until the terminal's side has room).
    void write(const QByteArray& bytes);
    // Reads what the terminal sent until `count` bytes have come or `timeoutMs` passed.
    QByteArray read(int count, int timeoutMs = 5000);
    // Reads until the bytes end with `terminator` or `timeoutMs` passed.
    QByteArray readUntil(const QByteArray& terminator, int timeoutMs = 5000);
    // Bytes the system holds for the terminal's side, not yet read by it.
    int queuedForTerminal() const;
    // Waits until the system holds `count` bytes for the terminal's side (what the instrument
    // wrote has made its way through the line); false when that did not happen in time.
    bool waitUntilQueued(int count, int timeoutMs = 5000) const;
    // Everything sent so far, without waiting.
    QByteArray readAvailable();
    // The line speed the terminal set, in bits per second.
    int baudRate() const;
    // The instrument hangs up: the master side is closed.
    void hangUp();
    // The slave side as the test holds it open; closing it lets a hang-up reach the terminal
    // alone.
    void releaseSlave();
    // The instrument's end (non-blocking), for an instrument played by another process.
    int masterDescriptor() const { return m_master; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
