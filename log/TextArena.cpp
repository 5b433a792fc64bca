#include "TextArena.h"

#include <algorithm>
#include <cstring>

TextArena::Span TextArena::store(QStringView text)
{
    const auto length = static_cast<quint32>(text.size());
    if (length == 0)
        return {};
    if (m_blocks.empty() || m_blocks.back().capacity - m_used < length) {
        // A text longer than a block gets a block of its own size.
        const quint32 capacity = std::max(BlockChars, length);
        m_blocks.push_back({std::make_unique<char16_t[]>(capacity), capacity});
        m_used = 0;
    }
    const Span span{static_cast<quint32>(m_blocks.size() - 1), m_used, length};
    std::memcpy(m_blocks.back().chars.get() + m_used, text.utf16(), length * sizeof(char16_t));
    m_used += length;
    return span;
}

QStringView TextArena::view(Span span) const
{
    if (span.length == 0)
        return {};
    return QStringView(m_blocks[span.block].chars.get() + span.offset, span.length);
}

QString TextArena::text(Span span) const
{
    return view(span).toString();
}

void TextArena::clear()
{
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_used = 0;
}
