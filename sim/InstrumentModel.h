#pragma once

#include <QString>
#include <QStringList>

#include <random>

// What the simulated instrument says: its made-up command set and the reply lines, in each of
// the forms that value stripping handles. No I/O here.
//
//   ID?          identity, plain text
//   TEMP?        "TEMP_23.45"        a name and "_" before the value
//   PRES?        "PRESS  =1013.25"   a name with "=" within the first 8 characters
//   VOLT?        "VOLT 12.3456"      a fixed 5-character prefix
//   READ?        "RDG: 0.004567"     a reading, also sent unsolicited with --talk
//   UNIT?        "UNIT_C"            the temperature unit
//   UNIT C|F|K   "OK"                sets the temperature unit
//   HELP?        the command list, one line per command
//   STALL?       half a reading and no line end: the terminal's read times out
//   anything else: "ERROR: unknown command <text>"
class InstrumentModel {
public:
    struct Reply {
        QStringList lines;    // each sent with a line ending
        QString unterminated; // sent after them without one
    };

    explicit InstrumentModel(unsigned seed = 1);

    // The reply to one received command line (given without its line ending).
    Reply respond(const QString& command);
    // One unsolicited reading.
    QString reading();
    static QStringList commandHelp();

private:
    double drift(double& value, double step);
    double temperatureInUnit(double celsius) const;

    std::mt19937 m_random;
    QChar m_unit = QLatin1Char('C');
    double m_temperature = 23.45;
    double m_pressure = 1013.25;
    double m_voltage = 12.3456;
    double m_reading = 0.004567;
};
