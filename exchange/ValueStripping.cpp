#include "ValueStripping.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace {

bool isSkipped(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The characters of the text that take part in reading a number: skipped characters removed,
// and anything outside ASCII turned into a character that stops the number.
std::string numberCharacters(QStringView text)
{
    std::string chars;
    chars.reserve(static_cast<size_t>(std::min<qsizetype>(text.size(), 64)));
    for (QChar c : text) {
        if (isSkipped(c.unicode()))
            continue;
        chars.push_back(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7f');
    }
    return chars;
}

std::optional<double> readRadixNumber(const std::string& chars, size_t pos, int radix,
                                      NumberScan* scan)
{
    double value = 0;
    const size_t first = pos;
    for (; pos < chars.size(); ++pos) {
        const char c = chars[pos];
        int digit = -1;
        if (isDigit(c))
            digit = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= radix)
            break;
        value = value * radix + digit;
        if (!std::isfinite(value))
            return std::nullopt;
    }
    if (scan) {
        scan->digits = pos > first;
        scan->whole = scan->digits && pos == chars.size();
    }
    return value;
}

} // namespace

QString cutReplyPrefix(QStringView line)
{
    const qsizetype underscore = line.indexOf(u'_');
    if (underscore >= 0)
        return line.mid(underscore + 1).toString();
    const qsizetype prefix = line.contains(u'=') ? 8 : 5;
    return line.size() >= prefix ? line.mid(prefix).toString() : line.toString();
}

std::optional<double> readLeadingNumber(QStringView text, NumberScan* scan)
{
    if (scan)
        *scan = NumberScan();
    const std::string chars = numberCharacters(text);
    size_t pos = 0;
    if (pos + 1 < chars.size() && chars[pos] == '&') {
        const char kind = chars[pos + 1];
        if (kind == 'H' || kind == 'h')
            return readRadixNumber(chars, pos + 2, 16, scan);
        if (kind == 'O' || kind == 'o')
            return readRadixNumber(chars, pos + 2, 8, scan);
        return 0.0;
    }

    std::string number;
    if (pos < chars.size() && (chars[pos] == '+' || chars[pos] == '-'))
        number.push_back(chars[pos++]);
    bool point = false;
    bool digits = false;
    // Where the first significant digit stands, to tell underflow from overflow: the count of
    // significant integer digits, or the zeros between the point and the first nonzero digit.
    bool significant = false;
    long long integerDigits = 0;
    long long fractionZeros = 0;
    for (; pos < chars.size(); ++pos) {
        const char c = chars[pos];
        if (isDigit(c)) {
            digits = true;
            if (!point && (significant || c != '0')) {
                significant = true;
                ++integerDigits;
            } else if (point && !significant) {
                if (c == '0')
                    ++fractionZeros;
                else
                    significant = true;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number.push_back(c);
    }
    if (!digits)
        return 0.0;
    if (pos < chars.size() && (chars[pos] == 'E' || chars[pos] == 'e')) {
        size_t exponentEnd = pos + 1;
        if (exponentEnd < chars.size() && (chars[exponentEnd] == '+' || chars[exponentEnd] == '-'))
            ++exponentEnd;
        if (exponentEnd < chars.size() && isDigit(chars[exponentEnd])) {
            while (exponentEnd < chars.size() && isDigit(chars[exponentEnd]))
                ++exponentEnd;
            number.append(chars, pos, exponentEnd - pos);
            pos = exponentEnd;
        }
    }
    if (scan) {
        scan->digits = true;
        scan->whole = pos == chars.size();
    }
    // from_chars takes no leading "+".
    const char* begin = number.data() + (number[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(begin, number.data() + number.size(), value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        if (!significant)
            return 0.0;
        // Out of range towards zero reads as zero; away from zero there is no number.
        const size_t exponentAt = number.find_first_of("Ee");
        long long exponent = 0;
        if (exponentAt != std::string::npos) {
            const std::string digitsOnly = number.substr(exponentAt + 1);
            const bool negative = !digitsOnly.empty() && digitsOnly[0] == '-';
            // Leading zeros say nothing of the exponent's size; beyond 18 significant digits
            // it is far out of range either way.
            const size_t significantAt = digitsOnly.find_first_not_of("+-0");
            const std::string magnitude = significantAt == std::string::npos
                                              ? std::string("0")
                                              : digitsOnly.substr(significantAt, 18);
            exponent = std::stoll(magnitude) * (negative ? -1 : 1);
        }
        const long long position = integerDigits > 0 ? integerDigits - 1 : -(fractionZeros + 1);
        return position + exponent < 0 ? std::optional<double>(0.0) : std::nullopt;
    }
    if (error != std::errc())
        return 0.0;
    return value;
}

QString formatNumber(double value)
{
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    char buffer[64];
    // d.dddddddddddddde[+-]x: fifteen significant digits, correctly rounded.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, 14);
    const std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    const int exponent = std::stoi(text.substr(e + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        const int magnitude = std::abs(exponent);
        out += exponent < 0 ? "E-" : "E+";
        if (magnitude < 10)
            out += "0";
        out += std::to_string(magnitude);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        const size_t integerDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= integerDigits) {
            out += digits + std::string(integerDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
        }
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

QString stripReplyValue(QStringView line, QString* cut, bool* carriesNumber)
{
    if (carriesNumber)
        *carriesNumber = false;
    if (line.isEmpty()) {
        if (cut)
            cut->clear();
        return QString();
    }
    QString rest = cutReplyPrefix(line);
    NumberScan scan;
    const std::optional<double> value = readLeadingNumber(rest, &scan);
    if (carriesNumber)
        *carriesNumber = value.has_value() && scan.digits;
    if (cut)
        *cut = std::move(rest);
    return value ? formatNumber(*value) : QString();
}
