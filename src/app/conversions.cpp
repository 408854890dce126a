#include "app/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace comflash::app {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

int hexDigit(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Where the first significant digit of a decimal number without its sign lies: 1 for the
// units, 2 for the tens, 0 for the tenths, -1 for the hundredths, exponent included. Only
// its sign matters: it tells a number too large for a double from one too small.
long long decimalMagnitude(std::string_view number) {
    const std::size_t exponentAt = number.find_first_of("eE");
    long long exponent = 0;
    if (exponentAt != std::string_view::npos) {
        std::string_view digits = number.substr(exponentAt + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
            digits.remove_prefix(1);
        }
        constexpr long long kFarEnough = 1'000'000'000;  // far beyond double's range
        for (const char digit : digits)
            exponent = std::min(exponent * 10 + (digit - '0'), kFarEnough);
        if (negative) exponent = -exponent;
        number = number.substr(0, exponentAt);
    }
    const std::size_t point = std::min(number.find('.'), number.size());
    const std::size_t first = number.find_first_not_of("0.");
    if (first == std::string_view::npos) return 0;  // zero: never out of range
    const long long position = first < point ? static_cast<long long>(point - first)
                                             : -static_cast<long long>(first - point - 1);
    return position + exponent;
}

// The value of a decimal number already scanned: an optional sign, digits with an optional
// fraction, an optional exponent. std::from_chars never consults the C library's locale, as
// strtod does: once the toolkit has set the locale from the environment, strtod would take
// "3.5" as 3 wherever the decimal separator is a comma.
double decimalValue(std::string_view number) {
    const bool negative = number.front() == '-';
    if (number.front() == '-' || number.front() == '+') number.remove_prefix(1);
    double value = 0;
    const auto read = std::from_chars(number.data(), number.data() + number.size(), value);
    if (read.ec == std::errc::result_out_of_range) {
        // As strtod would: an infinity beyond double's range, zero below it.
        value = decimalMagnitude(number) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

struct Scanned {
    double value = 0;
    std::size_t length = 0;  // characters of the text that form the number; 0: none
};

// Reads a number at the start of `text`: "&H" and hexadecimal digits, or an optional sign,
// digits, an optional fraction and an optional exponent.
Scanned scanNumber(std::string_view text) {
    if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
        std::size_t i = 2;
        double value = 0;
        while (i < text.size() && hexDigit(text[i]) >= 0 && i < 2 + 16) {
            value = value * 16 + hexDigit(text[i]);
            ++i;
        }
        return i > 2 ? Scanned{value, i} : Scanned{};
    }
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digitsFrom = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    std::size_t digits = i - digitsFrom;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fractionFrom = ++i;
        while (i < text.size() && isDigit(text[i])) ++i;
        digits += i - fractionFrom;
    }
    if (digits == 0) return {};
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        const std::size_t exponentFrom = j;
        while (j < text.size() && isDigit(text[j])) ++j;
        if (j > exponentFrom) end = j;
    }
    return {decimalValue(text.substr(0, end)), end};
}

}  // namespace

double roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction < 0.5) return floor;
    if (fraction > 0.5) return floor + 1;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::optional<std::uint8_t> toByte(std::string_view text) {
    text = trimmed(text);
    const Scanned number = scanNumber(text);
    if (number.length == 0 || number.length != text.size()) return std::nullopt;
    const double rounded = roundHalfEven(number.value);
    if (!(rounded >= 0 && rounded <= 255)) return std::nullopt;
    return static_cast<std::uint8_t>(rounded);
}

std::optional<std::int16_t> leadingNumberToInt16(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    const Scanned number = scanNumber(text);
    const double rounded = roundHalfEven(number.value);
    if (!(rounded >= -32768 && rounded <= 32767)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace comflash::app
