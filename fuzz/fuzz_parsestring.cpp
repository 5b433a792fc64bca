// Fuzz target for value stripping as the window's ParseString does it: any reply line, as the
// bytes an instrument may send. The line is left cut; the result is empty or a number in the
// program's format, and stripping that number again behind a 5-character prefix gives the same
// text.

#include "exchange/ValueStripping.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// "0", or [-]digits[.digits] without leading or trailing zeros, or [-]d[.digits]E(+|-)dd[d],
// with at most 15 significant digits.
bool isProgramNumber(const QString& text)
{
    if (text == QLatin1String("0"))
        return true;
    qsizetype i = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    const qsizetype exponentAt = text.indexOf(QLatin1Char('E'));
    const QString mantissa = text.mid(i, exponentAt < 0 ? -1 : exponentAt - i);
    if (mantissa.isEmpty() || mantissa.startsWith(QLatin1Char('.')))
        return false;
    const qsizetype point = mantissa.indexOf(QLatin1Char('.'));
    const QString integer = mantissa.left(point < 0 ? mantissa.size() : point);
    const QString fraction = point < 0 ? QString() : mantissa.mid(point + 1);
    for (QChar c : integer + fraction)
        if (!isDigit(c))
            return false;
    if (point >= 0 && (fraction.isEmpty() || fraction.endsWith(QLatin1Char('0'))))
        return false;
    if (integer.size() > 1 && integer.startsWith(QLatin1Char('0')))
        return false;
    QString significant = integer + fraction;
    while (significant.startsWith(QLatin1Char('0')))
        significant.remove(0, 1);
    if (significant.isEmpty() || significant.size() > 15)
        return false;
    if (exponentAt < 0)
        return true;
    if (integer.size() != 1 || integer == QLatin1String("0"))
        return false;
    const QString exponent = text.mid(exponentAt + 1);
    if (exponent.size() < 3 || exponent.size() > 4 ||
        (exponent[0] != QLatin1Char('+') && exponent[0] != QLatin1Char('-')))
        return false;
    for (qsizetype k = 1; k < exponent.size(); ++k)
        if (!isDigit(exponent[k]))
            return false;
    const int power = exponent.toInt();
    return power < -4 || power >= 15;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    // As the window's ParseString calls it: the line is cut in place.
    QString cut = line;
    const QString result = stripReplyValue(cut, &cut);
    if (cut != (line.isEmpty() ? QString() : cutReplyPrefix(line)))
        std::abort();
    if (result.isEmpty()) {
        // Only an empty line or a number out of range gives nothing.
        if (!line.isEmpty() && readLeadingNumber(cutReplyPrefix(line)).has_value())
            std::abort();
        return 0;
    }
    if (!isProgramNumber(result))
        std::abort();
    if (stripReplyValue(QStringLiteral("ABCDE") + result) != result)
        std::abort();
    return 0;
}
