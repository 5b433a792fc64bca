#include "TextArena.h"

#include <cstring>

static_assert(sizeof(TextArena::Span) == 8, "a span is kept for every cell of the log");

TextArena::Span TextArena::store(QStringView text)
{
    const auto length = static_cast<quint32>(text.size());
    if (length == 0)
        return {};
    if (length >= WholeBlock) {
        // A text of a block's size or more gets a block of exactly its size; the shared block
        // being filled stays the one that short texts go to.
        m_blocks.push_back({std::make_unique<char16_t[]>(length), length});
        std::memcpy(m_blocks.back().chars.get(), text.utf16(), length * sizeof(char16_t));
        return {static_cast<quint32>(m_blocks.size() - 1), 0, WholeBlock};
    }
    if (BlockChars - m_used < length) {
        m_blocks.push_back({std::make_unique<char16_t[]>(BlockChars), BlockChars});
        m_shared = static_cast<quint32>(m_blocks.size() - 1);
        m_used = 0;
    }
    const Span span{m_shared, static_cast<quint16>(m_used), static_cast<quint16>(length)};
    std::memcpy(m_blocks[m_shared].chars.get() + m_used, text.utf16(), length * sizeof(char16_t));
    m_used += length;
    return span;
}

QString TextArena::text(Span span) const
{
    return view(span).toString();
}

void TextArena::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_shared = 0;
    m_used = BlockChars;
}
