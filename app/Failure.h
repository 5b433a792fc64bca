#pragma once

#include <QString>

#include <stdexcept>

// A failure that a handler reports to the user, described in the program's own words.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description)
    {
    }
    QString description() const { return m_description; }

private:
    QString m_description;
};

// A reason the system gave ("Not ready.", "Access is denied.") for use inside a sentence of the
// program's own, which ends it: without the full stop and the white space at its end.
inline QString systemReason(QString reason)
{
    while (!reason.isEmpty() && (reason.back().isSpace() || reason.back() == QLatin1Char('.')))
        reason.chop(1);
    return reason;
}
