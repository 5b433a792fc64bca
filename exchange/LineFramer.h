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

    // Takes characters one at a time from `next`, each as feed() takes it, until `end` or
    // until `count` of them have been taken; true when it took the line feed that ends the line.
    // `next` and `count` say how far it got. Its state stays in locals for the whole loop, so
    // that a character costs a handful of instructions.
    bool feedEach(const char*& next, const char* end, int& count)
    {
        const char* in = next;
        int left = count;
        QChar* out = m_next;
        QChar* limit = m_limit;
        bool ended = false;
        while (left > 0 && in != end) {
            --left;
            const char c = *in++;
            if (c == '\n') {
                ended = true;
                break;
            }
            if (c == '\r')
                continue;
            if (Q_UNLIKELY(out == limit)) {
                m_next = out;
                grow();
                out = m_next;
                limit = m_limit;
            }
            *out++ = QLatin1Char(c);
        }
        m_next = out;
        next = in;
        count = left;
        return ended;
    }

    // The line gathered so far; the framer starts a new one.
    QString takeLine()
    {
        QString line(m_line.constData(), size());
        clear();
        return line;
    }
    // Drops the line gathered so far. Its storage is kept for the next line, so that a line
    // costs one allocation of its own size, unless it grew large.
    void clear()
    {
        if (m_line.size() > KeptChars) {
            m_line = QString();
            m_limit = nullptr;
        }
        m_next = m_line.isNull() ? nullptr : m_line.data();
    }
    QStringView pending() const { return QStringView(m_line).first(size()); }

private:
    static constexpr qsizetype KeptChars = 4096;

    qsizetype size() const { return m_next ? m_next - m_line.constData() : 0; }
    void grow()
    {
        const qsizetype used = size();
        m_line.resize(std::max<qsizetype>(64, used * 2));
        m_next = m_line.data() + used;
        m_limit = m_line.data() + m_line.size();
    }

    // The line is m_line's characters up to m_next; m_line's storage ends at m_limit. Only
    // this framer holds m_line.
    QString m_line;
    QChar* m_next = nullptr;
    QChar* m_limit = nullptr;
};
