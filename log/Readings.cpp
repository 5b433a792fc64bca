#include "Readings.h"

#include "exchange/ValueStripping.h"

#include <charconv>

namespace {

// Longest text Strip Data writes: "-1.23456789012345E-305" and the like.
constexpr qsizetype MaxReadingChars = 24;
// The most significant digits Strip Data writes.
constexpr int MaxDigits = 15;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The definition itself: the number the text holds, written as Strip Data writes it, gives the
// text back. Used where the quick test below cannot vouch for the written form.
std::optional<double> byDefinition(QStringView text)
{
    const std::optional<double> value = readLeadingNumber(text);
    if (value && formatNumber(*value) == text)
        return value;
    return std::nullopt;
}

} // namespace

std::optional<double> readingValue(QStringView response)
{
    const qsizetype size = response.size();
    if (size == 0 || size > MaxReadingChars)
        return std::nullopt;
    char text[MaxReadingChars];
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = response[i].unicode();
        if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'+' || c == u'E'))
            return std::nullopt;
        text[i] = static_cast<char>(c);
    }
    if (size == 1 && text[0] == '0')
        return 0.0;

    // The written form, checked character by character: an optional "-", digits with the
    // first significant one not 0, no trailing zeros after a point, at most 15 significant
    // digits, and the exponent form exactly where the decimal exponent is below -4 or from 15.
    qsizetype pos = text[0] == '-' ? 1 : 0;
    int decimalExponent = 0;
    int significant = 0;
    if (pos < size && text[pos] == '0') {
        // 0.000ddd: below 1, at most three zeros after the point.
        if (pos + 2 >= size || text[pos + 1] != '.')
            return std::nullopt;
        pos += 2;
        int zeros = 0;
        while (pos < size && text[pos] == '0') {
            ++zeros;
            ++pos;
        }
        if (zeros > 3)
            return std::nullopt;
        decimalExponent = -(zeros + 1);
        while (pos < size && isDigit(text[pos])) {
            ++significant;
            ++pos;
        }
        if (significant == 0 || pos != size || text[size - 1] == '0')
            return std::nullopt;
    } else {
        if (pos >= size || !isDigit(text[pos]))
            return std::nullopt;
        int integerDigits = 0;
        while (pos < size && isDigit(text[pos])) {
            ++integerDigits;
            ++pos;
        }
        int fractionDigits = 0;
        if (pos < size && text[pos] == '.') {
            ++pos;
            while (pos < size && isDigit(text[pos])) {
                ++fractionDigits;
                ++pos;
            }
            if (fractionDigits == 0 || text[pos - 1] == '0')
                return std::nullopt;
        }
        significant = integerDigits + fractionDigits;
        if (pos < size) {
            // d[.ddd]E+xx or d[.ddd]E-xx: one digit before the point, two or three in the
            // exponent, the third only when needed.
            if (integerDigits != 1 || text[pos] != 'E' || pos + 1 >= size ||
                (text[pos + 1] != '+' && text[pos + 1] != '-'))
                return std::nullopt;
            const bool negative = text[pos + 1] == '-';
            pos += 2;
            const qsizetype exponentDigits = size - pos;
            if (exponentDigits < 2 || exponentDigits > 3)
                return std::nullopt;
            int magnitude = 0;
            for (; pos < size; ++pos) {
                if (!isDigit(text[pos]))
                    return std::nullopt;
                magnitude = magnitude * 10 + (text[pos] - '0');
            }
            if (exponentDigits == 3 && magnitude < 100)
                return std::nullopt;
            decimalExponent = negative ? -magnitude : magnitude;
            if (decimalExponent >= -4 && decimalExponent < 15)
                return std::nullopt;
        } else {
            decimalExponent = integerDigits - 1;
            if (decimalExponent >= 15)
                return std::nullopt;
        }
    }
    if (significant > MaxDigits)
        return std::nullopt;
    // Near the ends of the range of a double (overflow, or too few digits below the smallest
    // normal number) the form alone does not say whether the number is written back the same.
    if (decimalExponent > 307 || decimalExponent < -307)
        return byDefinition(response);

    // Any decimal of at most 15 significant digits in the normal range survives the round trip
    // through a double unchanged, so the form above is the written form of this number.
    double value = 0;
    const auto result = std::from_chars(text, text + size, value);
    if (result.ec != std::errc() || result.ptr != text + size)
        return byDefinition(response);
    return value;
}
