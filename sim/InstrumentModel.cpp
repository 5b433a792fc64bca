#include "InstrumentModel.h"

namespace {
QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

InstrumentModel::Reply line(const QString& text)
{
    return {QStringList{text}, QString()};
}
} // namespace

InstrumentModel::InstrumentModel(unsigned seed) : m_random(seed) {}

double InstrumentModel::drift(double& value, double step)
{
    std::uniform_real_distribution<double> change(-step, step);
    value += change(m_random);
    return value;
}

double InstrumentModel::temperatureInUnit(double celsius) const
{
    if (m_unit == QLatin1Char('F'))
        return celsius * 9.0 / 5.0 + 32.0;
    if (m_unit == QLatin1Char('K'))
        return celsius + 273.15;
    return celsius;
}

QStringList InstrumentModel::commandHelp()
{
    return {QStringLiteral("ID?        identity"),
            QStringLiteral("TEMP?      temperature, TEMP_<value>"),
            QStringLiteral("PRES?      pressure in hPa, PRESS  =<value>"),
            QStringLiteral("VOLT?      supply voltage, VOLT <value>"),
            QStringLiteral("READ?      one reading, RDG: <value>"),
            QStringLiteral("UNIT?      temperature unit, UNIT_<C|F|K>"),
            QStringLiteral("UNIT C|F|K set the temperature unit"),
            QStringLiteral("HELP?      this list"),
            QStringLiteral("STALL?     half a reading, then nothing: the terminal times out")};
}

QString InstrumentModel::reading()
{
    return QStringLiteral("RDG: ") + number(drift(m_reading, 0.0001), 6);
}

InstrumentModel::Reply InstrumentModel::respond(const QString& command)
{
    const QString text = command.trimmed().toUpper();
    if (text.isEmpty())
        return {};
    if (text == QLatin1String("ID?") || text == QLatin1String("*IDN?"))
        return line(QStringLiteral("Baroventis BV-SIM 100, simulated instrument, firmware 1.0"));
    if (text == QLatin1String("TEMP?"))
        return line(QStringLiteral("TEMP_") +
                    number(temperatureInUnit(drift(m_temperature, 0.05)), 2));
    if (text == QLatin1String("PRES?"))
        return line(QStringLiteral("PRESS  =") + number(drift(m_pressure, 0.2), 2));
    if (text == QLatin1String("VOLT?"))
        return line(QStringLiteral("VOLT ") + number(drift(m_voltage, 0.001), 4));
    if (text == QLatin1String("READ?"))
        return line(reading());
    if (text == QLatin1String("UNIT?"))
        return line(QStringLiteral("UNIT_") + m_unit);
    if (text.startsWith(QLatin1String("UNIT "))) {
        const QString unit = text.mid(5).trimmed();
        if (unit == QLatin1String("C") || unit == QLatin1String("F") ||
            unit == QLatin1String("K")) {
            m_unit = unit.at(0);
            return line(QStringLiteral("OK"));
        }
        return line(QStringLiteral("ERROR: unit must be C, F or K"));
    }
    if (text == QLatin1String("HELP?"))
        return {commandHelp(), QString()};
    if (text == QLatin1String("STALL?"))
        return {QStringList(), reading().left(7)};
    return line(QStringLiteral("ERROR: unknown command ") + command.trimmed());
}
