// Fuzz target for the reply reader's framing: an arbitrary byte stream arrives in arbitrary
// chunks, taken a character at a time or in runs of passes, and after any chunk the read may
// time out and drop the line it was gathering.
// Every byte other than CR and LF must end up in exactly one line or one dropped partial
// line, in order; every LF ends exactly one line; nothing is invented.

#include "exchange/LineFramer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes steer the chunk sizes and the time-outs; the rest is the stream.
    uint32_t state = (uint32_t(data[0]) << 8 | data[1]) * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const QByteArray stream(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    std::vector<QString> segments; // lines and dropped partial lines, in order
    int lines = 0;
    LineFramer framer;
    qsizetype at = 0;
    while (at < stream.size()) {
        const qsizetype chunk = qsizetype(next() % 16) + 1;
        const qsizetype end = std::min(stream.size(), at + chunk);
        if (next() % 2 == 0) {
            for (; at < end; ++at) {
                if (framer.feed(QLatin1Char(stream[at]))) {
                    segments.push_back(framer.takeLine());
                    ++lines;
                }
            }
        } else {
            // As the reply reader's run of passes does: a few characters at a time, each one
            // counted as a pass of its own.
            const char* cursor = stream.constData() + at;
            const char* const stop = stream.constData() + end;
            while (cursor != stop) {
                int passes = int(next() % 8) + 1;
                const int due = passes;
                const char* const from = cursor;
                if (framer.feedEach(cursor, stop, passes)) {
                    segments.push_back(framer.takeLine());
                    ++lines;
                }
                if (cursor - from != due - passes || passes < 0)
                    std::abort();
            }
            at = end;
        }
        if (next() % 8 == 0)
            segments.push_back(framer.takeLine()); // time-out: the partial line is dropped
    }
    segments.push_back(framer.takeLine());

    QString rejoined;
    for (const QString& segment : segments) {
        if (segment.contains(QLatin1Char('\r')) || segment.contains(QLatin1Char('\n')))
            std::abort();
        rejoined += segment;
    }
    QByteArray expected = stream;
    expected.replace('\r', QByteArray()).replace('\n', QByteArray());
    if (rejoined != QString::fromLatin1(expected) || lines != stream.count('\n'))
        std::abort();
    return 0;
}
