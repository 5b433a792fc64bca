// Which Response cells are readings: exactly a number as Strip Data writes it.

#include "Readings.h"

#include "exchange/ValueStripping.h"

#include <charconv>
#include <cstdint>
#include <iterator>

namespace {

// Longest text Strip Data writes: "-1.23456789012345E-305" and the like.
constexpr qsizetype MaxReadingChars = 24;
// The most significant digits Strip Data writes.
constexpr int MaxDigits = 15;

// The powers of ten that a double holds exactly.
constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

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
    const char16_t* text = response.utf16();
    const auto digitAt = [text, size](qsizetype i) {
        return i < size && text[i] >= u'0' && text[i] <= u'9';
    };

    // The written form, checked in one pass while its digits are gathered: an optional "-",
    // digits with the first significant one not 0, no trailing zeros after a point, at most 15
    // significant digits, and the exponent form exactly where the decimal exponent is below -4
    // or from 15. The value is the gathered digits times a power of ten.
    qsizetype pos = text[0] == u'-' ? 1 : 0;
    const bool negative = pos == 1;
    if (pos == size)
        return std::nullopt;
    std::uint64_t digits = 0;
    int significant = 0;
    int decimalExponent = 0; // of the first significant digit
    int scale = 0;           // value = digits * 10^scale
    if (text[pos] == u'0') {
        if (pos + 1 == size)
            return negative ? std::nullopt : std::optional<double>(0.0); // "0", never "-0"
        // 0.000ddd: below 1, at most three zeros after the point.
        if (text[pos + 1] != u'.')
            return std::nullopt;
        pos += 2;
        int zeros = 0;
        while (pos < size && text[pos] == u'0') {
            ++zeros;
            ++pos;
        }
        if (zeros > 3)
            return std::nullopt;
        while (digitAt(pos) && significant <= MaxDigits) {
            digits = digits * 10 + (text[pos++] - u'0');
            ++significant;
        }
        if (significant == 0 || significant > MaxDigits || pos != size || text[size - 1] == u'0')
            return std::nullopt;
        decimalExponent = -(zeros + 1);
        scale = -(zeros + significant);
    } else {
        int integerDigits = 0;
        while (digitAt(pos) && integerDigits <= MaxDigits) {
            digits = digits * 10 + (text[pos++] - u'0');
            ++integerDigits;
        }
        if (integerDigits == 0 || integerDigits > MaxDigits)
            return std::nullopt;
        int fractionDigits = 0;
        if (pos < size && text[pos] == u'.') {
            ++pos;
            while (digitAt(pos) && integerDigits + fractionDigits <= MaxDigits) {
                digits = digits * 10 + (text[pos++] - u'0');
                ++fractionDigits;
            }
            if (fractionDigits == 0 || text[pos - 1] == u'0')
                return std::nullopt;
        }
        significant = integerDigits + fractionDigits;
        if (significant > MaxDigits)
            return std::nullopt;
        if (pos < size) {
            // d[.ddd]E+xx or d[.ddd]E-xx: one digit before the point, two or three in the
            // exponent, the third only when needed.
            if (integerDigits != 1 || text[pos] != u'E' || pos + 1 >= size ||
                (text[pos + 1] != u'+' && text[pos + 1] != u'-'))
                return std::nullopt;
            const bool negativeExponent = text[pos + 1] == u'-';
            pos += 2;
            const qsizetype exponentDigits = size - pos;
            if (exponentDigits < 2 || exponentDigits > 3)
                return std::nullopt;
            int magnitude = 0;
            for (; pos < size; ++pos) {
                if (!digitAt(pos))
                    return std::nullopt;
                magnitude = magnitude * 10 + (text[pos] - u'0');
            }
            if (exponentDigits == 3 && magnitude < 100)
                return std::nullopt;
            decimalExponent = negativeExponent ? -magnitude : magnitude;
            if (decimalExponent >= -4 && decimalExponent < 15)
                return std::nullopt;
        } else {
            decimalExponent = integerDigits - 1;
            if (decimalExponent >= 15)
                return std::nullopt;
        }
        scale = decimalExponent - (significant - 1);
    }
    // Near the ends of the range of a double (overflow, or too few digits below the smallest
    // normal number) the form alone does not say whether the number is written back the same.
    if (decimalExponent > 307 || decimalExponent < -307)
        return byDefinition(response);

    // Any decimal of at most 15 significant digits in the normal range survives the round trip
    // through a double unchanged, so the form above is the written form of this number. Its
    // digits (below 2^53) and a power of ten up to 1E22 are exact doubles, so one multiplication
    // or division rounds as reading the text would.
    double value = 0;
    if (scale >= 0 && scale < int(std::size(PowersOfTen))) {
        value = double(digits) * PowersOfTen[scale];
    } else if (scale < 0 && -scale < int(std::size(PowersOfTen))) {
        value = double(digits) / PowersOfTen[-scale];
    } else {
        char ascii[MaxReadingChars];
        for (qsizetype i = 0; i < size; ++i)
            ascii[i] = static_cast<char>(text[i]);
        const auto result = std::from_chars(ascii, ascii + size, value);
        if (result.ec != std::errc() || result.ptr != ascii + size)
            return byDefinition(response);
        return value;
    }
    return negative ? -value : value;
}
