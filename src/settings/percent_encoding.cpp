#include "settings/percent_encoding.h"

#include <cstddef>

namespace comflash::settings {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence of two to four bytes starting at `at`, or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not well-formed.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondMin = 0xA0;
        if (lead == 0xED) secondMax = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondMin = 0x90;
        if (lead == 0xF4) secondMax = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() - at < length) return 0;
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    if (second < secondMin || second > secondMax) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(static_cast<unsigned char>(bytes[at + i]))) return 0;
    }
    return length;
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return -1;
}

}  // namespace

std::string percentEncode(std::string_view bytes, KeepAscii keep) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80 && keep(bytes[at])) {
            text.push_back(bytes[at]);
            ++at;
            continue;
        }
        if (const std::size_t length = byte >= 0x80 ? utf8SequenceLength(bytes, at) : 0) {
            text.append(bytes.substr(at, length));
            at += length;
            continue;
        }
        text.push_back('%');
        text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0x0F]);
        ++at;
    }
    return text;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            bytes.push_back(text[at]);
            continue;
        }
        if (text.size() - at < 3) return std::nullopt;
        const int high = hexValue(text[at + 1]);
        const int low = hexValue(text[at + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
        at += 2;
    }
    return bytes;
}

}  // namespace comflash::settings
