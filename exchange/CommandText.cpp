#include "CommandText.h"

QStringList unsendableCharacters(const QString& command)
{
    QStringList named;
    QList<char32_t> seen;
    for (const char32_t c : command.toUcs4()) {
        if (c <= 0xFF || seen.contains(c))
            continue;
        seen.append(c);
        const QString code = QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
        named << QStringLiteral("\"%1\" (U+%2)").arg(QString::fromUcs4(&c, 1), code);
    }
    return named;
}
