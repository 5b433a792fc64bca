#pragma once

#include "app/Failure.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <limits>

// A failure of the serial port control.
class PortError : public Failure {
public:
    using Failure::Failure;
};

// What the user is told when the device exists but may not be opened: the group to join when
// that group may read and write it, otherwise the device's owner, group and mode ("crw-------").
QString permissionDeniedText(const QString& portLabel, const QString& owner, const QString& group,
                             uint mode);

// The window's serial port, reduced to the few operations the terminal relies on. Received
// bytes are only ever polled; bytes and characters map one to one (Latin-1). Operations that
// can fail throw PortError; PortOpen and InBufferCount never fail.
class SerialPortControl : public QObject {
    Q_OBJECT
public:
    explicit SerialPortControl(QObject* parent = nullptr);
    ~SerialPortControl() override;

    // Port number 1 to 12; only while the port is closed.
    void setCommPort(int number);
    int CommPort() const { return m_commPort; }

    // Line settings "rate,parity,data bits,stop bits", such as "9600,N,8,1".
    void setSettings(const QString& settings);
    QString Settings() const { return m_settings; }

    // Opens the port with the number and settings set before, or closes it.
    void setPortOpen(bool open);
    bool PortOpen() const;

    // How many characters one read of Input returns at most; 0 means all that are waiting.
    void setInputLen(int length) { m_inputLen = std::max(0, length); }
    int InputLen() const { return m_inputLen; }

    // Bytes the port holds for the program before it stops taking more from the device; 0
    // holds all that come. While nobody reads (no polling loop), a bounded buffer keeps a
    // talking instrument from filling memory: what does not fit is lost at the device.
    static constexpr int DefaultInBufferSize = 30000;
    void setInBufferSize(int bytes);
    int InBufferSize() const;

    // Received characters waiting to be read; 0 once the port is closed.
    int InBufferCount() const { return static_cast<int>(m_end - m_next) + m_portWaiting; }
    // Takes the next waiting characters (InputLen of them at most) from the receive buffer.
    QString Input();
    // Takes the next waiting character as Input does with InputLen 1, without making a text of
    // it: its code (0 to 255), or -1 when nothing is waiting. Fails as Input does.
    int inputChar()
    {
        if (m_next != m_end)
            return static_cast<unsigned char>(*m_next++);
        return inputCharFromPort();
    }
    // The characters taken from the device and waiting here, for a reader that takes them one
    // at a time in a loop of its own: it reads from `next` towards `end` and then says with
    // consumedUpTo() how far it got. Nothing else reads from the port meanwhile.
    struct Received {
        const char* next = nullptr;
        const char* end = nullptr;
    };
    Received received() const { return {m_next, m_end}; }
    void consumedUpTo(const char* next) { m_next = next; }
    // Bytes taken from the device into the terminal since the port was opened: read already,
    // or waiting here. A line whose first byte came before this count at a send began before it.
    quint64 receivedTotal() const { return m_takenTotal + quint64(m_port.bytesAvailable()); }
    // Of those, the bytes read so far: where the next character read stands.
    quint64 readTotal() const { return m_takenTotal - quint64(m_end - m_next); }
    // Hands the text to the port in one write, one byte per character ("?" for a character
    // that has no byte).
    void setOutput(const QString& text);

    // Set when the device went away while open (unplugged, or the other end hung up): the port
    // is then closed at once, the characters received before stay readable, and this describes
    // what happened. Cleared by the next open or close.
    QString DeviceLost() const { return m_lost; }
    // Counts the opens; a reader that sees it change knows the port was reopened under it.
    quint64 OpenCount() const { return m_openCount; }
    // "COM n (device)", as failures name the port.
    QString portLabel() const;

private:
    struct LineSettings {
        qint32 rate = 9600;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };
    static bool parseSettings(const QString& text, LineSettings* settings);
    void applySettings();
    QString openFailure(QSerialPort::SerialPortError error) const;
    void portErrorOccurred(QSerialPort::SerialPortError error);
    void closeLostDevice(quint64 session);
    bool deviceHungUp() const;
    void portReceived();
    void noteWaitingInPort();
    void takeFromPort(qint64 limit);
    int inputCharFromPort();
    void closePort();
    void forgetReceived();

    QSerialPort m_port{this};
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    LineSettings m_line;
    int m_inputLen = 0;
    QString m_device; // device the last open used
    // Received characters are taken from the port a batch at a time and handed out from
    // m_received (m_next to m_end), so that reading one costs no more than a pointer step.
    // m_portWaiting counts what the port holds beyond them: the port's buffer grows only when it
    // reports readyRead and shrinks only when this class reads or clears it, so the count stays
    // exact without asking the port (up to a billion; InBufferCount says no more). After the
    // device went away, what it sent before stays here until the next open or close.
    static constexpr qint64 BatchLimit = 1 << 20; // what one batch takes at most
    static constexpr qint64 AllWaiting = std::numeric_limits<qint64>::max();
    QByteArray m_received;
    const char* m_next = nullptr;
    const char* m_end = nullptr;
    int m_portWaiting = 0;
    quint64 m_takenTotal = 0; // bytes moved from the port into m_received since the open
    QString m_lost;
    quint64 m_openCount = 0;
};
