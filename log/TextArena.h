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
    // Where a text lies: 8 bytes. Texts shorter than WholeBlock characters share blocks of
    // BlockChars, so their offset and length fit 16 bits each; a longer text gets a block of
    // its own and says so with the length WholeBlock.
    struct Span {
        quint32 block = 0;
        quint16 offset = 0;
        quint16 length = 0;
    };
    static constexpr quint16 WholeBlock = 0xFFFF;

    Span store(QStringView text);
    QString text(Span span) const;
    QStringView view(Span span) const
    {
        if (span.length == 0)
            return {};
        const Block& block = m_blocks[span.block];
        if (span.length == WholeBlock)
            return QStringView(block.chars.get(), block.capacity);
        return QStringView(block.chars.get() + span.offset, span.length);
    }
    void clear();

private:
    struct Block {
        std::unique_ptr<char16_t[]> chars;
        quint32 capacity = 0;
    };

    static constexpr quint32 BlockChars = 0x10000; // every offset in a shared block fits 16 bits

    std::vector<Block> m_blocks;
    quint32 m_shared = 0;        // index of the shared block being filled
    quint32 m_used = BlockChars; // characters used in it; all while there is none
};
