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
