#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// A measurement run as the user defines it: the commands sent in turn each cycle, the period,
// how long each command waits for its reply, how many cycles (0: until stopped) and the CSV
// file; with the port, rate and reply time-out of the terminal it runs on.
struct RunDefinition {
    static constexpr qint64 MinPeriodMs = 100;
    static constexpr qint64 MaxPeriodMs = 86'400'000;
    static constexpr qint64 MinReplyTimeoutMs = 50;
    static constexpr qint64 MaxReplyTimeoutMs = 99'000;
    static constexpr qint64 MaxCycles = 1'000'000'000;

    int port = 1;
    QString baudRate = QStringLiteral("9600");
    int timeoutSeconds = 5;
    qint64 periodMs = 1000;
    qint64 replyTimeoutMs = 1000;
    qint64 cycles = 0;
    QString csvFile;
    QStringList commands;

    bool operator==(const RunDefinition& other) const;
};

// Seconds with at most three decimals, "." (or, where `commaToo`, ",") as the decimal point,
// as whole milliseconds: "1.5" and "1,5" give 1500. False for anything else.
bool parseSeconds(QStringView text, bool commaToo, qint64* ms);
// Milliseconds as seconds without trailing zeros: "0.05", "1", "86400".
QString secondsText(qint64 ms);
// The commands a text box holds, one per line; lines that are empty or only blanks are dropped,
// the others kept exactly as typed.
QStringList commandLines(const QString& text);

// Run definition files: UTF-8 INI text with the one section [Run] and lines Key=value, the
// value taken as it stands to the end of the line. Keys, in the order they are written: Port,
// BaudRate, TimeoutSeconds, Every, ReplyTimeout, Cycles, CsvFile (a relative path is relative to
// the file's folder), Command1, Command2, ...
namespace RunDefinitionFile {

// Whether a port number is one the terminal's port list offers.
using PortCheck = std::function<bool(int port)>;

// Reads a definition; returns "" or what is wrong, as "FILE: key KEY: WHAT." for a missing or
// unknown key or a bad value. The definition is changed only when the file is valid.
QString read(const QString& path, const PortCheck& portOffered, RunDefinition* definition);
QString parse(const QByteArray& bytes, const QString& path, const PortCheck& portOffered,
              RunDefinition* definition);
// The file's text; the CSV path is written relative to `folder` when it lies within it.
QByteArray text(const RunDefinition& definition, const QString& folder);
// Writes the definition, replacing the file only once all of it is written; "" or the reason.
QString write(const QString& path, const RunDefinition& definition);

} // namespace RunDefinitionFile
