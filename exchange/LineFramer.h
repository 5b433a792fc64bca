#pragma once

#include <QString>

// Gathers received characters into reply lines: a carriage return is dropped wherever it
// stands, a line feed ends the line, anything else is appended.
class LineFramer {
public:
    // Takes one character; true when it was the line feed that ends the line.
    bool feed(QChar c)
    {
        if (c == QLatin1Char('\n'))
            return true;
        if (c != QLatin1Char('\r'))
            m_line.append(c);
        return false;
    }

    // The line gathered so far; the framer starts a new one.
    QString takeLine() { return std::exchange(m_line, QString()); }
    const QString& pending() const { return m_line; }

private:
    QString m_line;
};
