#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <memory>
#include <vector>

// Keeps many short texts back to back in large blocks, so that storing a text costs its
// characters and one small span instead of a separately allocated string.
class TextArena {
public:
    struct Span {
        quint32 block = 0;
        quint32 offset = 0;
        quint32 length = 0;
    };

    Span store(QStringView text);
    QString text(Span span) const;
    QStringView view(Span span) const;
    void clear();

private:
    struct Block {
        std::unique_ptr<char16_t[]> chars;
        quint32 capacity = 0;
    };

    static constexpr quint32 BlockChars = 64 * 1024;

    std::vector<Block> m_blocks;
    quint32 m_used = 0; // characters used in the last block
};
