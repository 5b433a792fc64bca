#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <utility>

// Gathers received characters into reply lines: a carriage return is dropped wherever it
// stands, a line feed ends the line, anything else is appended. Taking a character is inline
// and allocates only when the line outgrows its storage, since the reply reader feeds every
// received character through here one at a time.
class LineFramer {
public:
    LineFramer() = default;
    LineFramer(const LineFramer&) = delete;
    LineFramer& operator=(const LineFramer&) = delete;

    // Takes one character; true when it was the line feed that ends the line.
    bool feed(QChar c)
    {
        if (c == QLatin1Char('\n'))
            return true;
        if (c != QLatin1Char('\r')) {
            if (Q_UNLIKELY(m_next == m_limit))
                grow();
            *m_next++ = c;
        }
        return false;
    }

    // The line gathered so far; the framer starts a new one.
    QString takeLine()
    {
        m_line.resize(size());
        m_next = m_limit = nullptr;
        return std::exchange(m_line, QString());
    }
    QStringView pending() const { return QStringView(m_line).first(size()); }

private:
    qsizetype size() const { return m_next ? m_next - m_line.constData() : 0; }
    void grow()
    {
        const qsizetype used = size();
        m_line.resize(std::max<qsizetype>(64, used * 2));
        m_next = m_line.data() + used;
        m_limit = m_line.data() + m_line.size();
    }

    // The line is m_line's characters up to m_next; m_line's storage ends at m_limit. Only
    // this framer holds m_line until takeLine hands it out.
    QString m_line;
    QChar* m_next = nullptr;
    QChar* m_limit = nullptr;
};
