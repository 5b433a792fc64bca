// Fuzz target: any reply, written as a row of a measurement run's CSV file, reads back from that
// row as it was, with a plain RFC 4180 reader; the row holds the seven fields and ends in CR LF.

#include "run/CsvFormat.h"

#include <QTimeZone>

#include <cstdint>
#include <cstdlib>

namespace {

// Splits one CSV record that ends in CR LF into its fields, as RFC 4180 reads them.
QStringList readRecord(const QString& line, bool* ok)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    qsizetype i = 0;
    *ok = false;
    for (; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < line.size() && line[i + 1] == u'"') {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == u'"' && field.isEmpty()) {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else if (c == u'\r' && i + 2 == line.size() && line[i + 1] == u'\n') {
            fields << field;
            *ok = true;
            return fields;
        } else {
            field += c;
        }
    }
    return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RunRow row;
    row.status = RunStatus::Unsolicited;
    row.reply = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    row.command = row.reply.left(3);
    const QString line = QString::fromUtf8(CsvFormat::rowLine(row, QTimeZone::utc()));
    bool ok = false;
    const QStringList fields = readRecord(line, &ok);
    if (!ok || fields.size() != 7 || fields[2] != row.command || fields[3] != row.reply ||
        fields[6] != QLatin1String("unsolicited"))
        std::abort();
    return 0;
}
