#include "app/conversions.h"

#include <cmath>
#include <cstdlib>
#include <string>

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
    // strtod gives an infinity, never an exception, for a number beyond double's range.
    return {std::strtod(std::string(text.substr(0, end)).c_str(), nullptr), end};
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
