#include "factory/serial_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>

namespace comflash::factory {

namespace {

constexpr std::size_t kMacSize = 6;
constexpr std::size_t kMostDigits = 20;  // 18446744073709551615 has 20
constexpr const char* kFormats =
    "u16le, u16be, u32le, u32be, u64le, u64be, decN with N from 1 to 20 (dec8), or mac";

struct Mac {
    std::array<std::uint8_t, kMacSize> bytes{};
    char separator = 0;  // ':' or '-'; none for twelve digits in a row
    bool lowerCase = false;
};

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<Mac> parseMac(std::string_view text) {
    Mac mac;
    std::size_t step = 2;
    if (text.size() == 3 * kMacSize - 1) {
        mac.separator = text[2];
        if (mac.separator != ':' && mac.separator != '-') return std::nullopt;
        step = 3;
    } else if (text.size() != 2 * kMacSize) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kMacSize; ++i) {
        const std::size_t at = i * step;
        if (i > 0 && step == 3 && text[at - 1] != mac.separator) return std::nullopt;
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        mac.bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    mac.lowerCase = std::any_of(text.begin(), text.end(), [](char c) { return c >= 'a'; });
    return mac;
}

std::string macText(const Mac& mac) {
    std::string text;
    for (std::size_t i = 0; i < kMacSize; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, mac.lowerCase ? "%02x" : "%02X", mac.bytes[i]);
        if (i > 0 && mac.separator != 0) text += mac.separator;
        text += pair;
    }
    return text;
}

std::optional<std::uint64_t> wholeNumber(std::string_view text) {
    std::uint64_t number = 0;
    if (!allDigits(text)) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

std::string shown(std::string_view serial) {
    return allDigits(serial) ? std::string(serial) : "\"" + std::string(serial) + "\"";
}

// Why `serial` is no whole number, for a format that takes one.
std::string notANumber(std::string_view serial) {
    if (serial.starts_with('-') && allDigits(serial.substr(1))) {
        return "serial number " + std::string(serial) + " is negative";
    }
    return "serial number " + shown(serial) + " is not a whole number";
}

std::string tooBig(std::string_view serial, const SerialFormat& format, std::string_view most) {
    return "serial number " + std::string(serial) + " does not fit " + formatName(format) +
           " (at most " + std::string(most) + ")";
}

}  // namespace

std::string formatName(const SerialFormat& format) {
    switch (format.kind) {
        case SerialFormat::Kind::Binary:
            return "u" + std::to_string(format.size * 8) + (format.bigEndian ? "be" : "le");
        case SerialFormat::Kind::Decimal:
            return "dec" + std::to_string(format.size);
        case SerialFormat::Kind::Mac:
            break;
    }
    return "mac";
}

std::variant<SerialFormat, std::string> parseSerialFormat(std::string_view name) {
    for (const std::size_t size : {2u, 4u, 8u}) {
        for (const bool bigEndian : {false, true}) {
            const SerialFormat format{SerialFormat::Kind::Binary, size, bigEndian};
            if (name == formatName(format)) return format;
        }
    }
    if (name == "mac") return SerialFormat{SerialFormat::Kind::Mac, kMacSize, false};
    if (name.starts_with("dec") && !name.starts_with("dec0")) {
        const auto digits = wholeNumber(name.substr(3));
        if (digits && *digits >= 1 && *digits <= kMostDigits) {
            return SerialFormat{SerialFormat::Kind::Decimal, static_cast<std::size_t>(*digits),
                                false};
        }
    }
    return "\"" + std::string(name) + "\" is no serial number format; the formats are " + kFormats;
}

std::variant<std::vector<std::uint8_t>, std::string> encodeSerial(const SerialFormat& format,
                                                                  std::string_view serial) {
    std::vector<std::uint8_t> bytes;
    switch (format.kind) {
        case SerialFormat::Kind::Mac: {
            const auto mac = parseMac(serial);
            if (!mac) {
                return "serial number \"" + std::string(serial) +
                       "\" is not a MAC address (00:11:22:33:44:55, 00-11-22-33-44-55 or "
                       "001122334455)";
            }
            return std::vector<std::uint8_t>(mac->bytes.begin(), mac->bytes.end());
        }
        case SerialFormat::Kind::Decimal: {
            if (!allDigits(serial)) return notANumber(serial);
            std::string_view digits =
                serial.substr(std::min(serial.find_first_not_of('0'), serial.size() - 1));
            if (digits.size() > format.size) {
                return tooBig(serial, format, std::string(format.size, '9'));
            }
            bytes.assign(format.size - digits.size(), '0');
            bytes.insert(bytes.end(), digits.begin(), digits.end());
            return bytes;
        }
        case SerialFormat::Kind::Binary:
            break;
    }
    const std::uint64_t most = format.size >= 8 ? std::numeric_limits<std::uint64_t>::max()
                                                : (std::uint64_t{1} << (8 * format.size)) - 1;
    if (!allDigits(serial)) return notANumber(serial);
    const auto number = wholeNumber(serial);
    if (!number || *number > most) return tooBig(serial, format, std::to_string(most));
    for (std::size_t i = 0; i < format.size; ++i) {
        const std::size_t shift = 8 * (format.bigEndian ? format.size - 1 - i : i);
        bytes.push_back(static_cast<std::uint8_t>(*number >> shift));
    }
    return bytes;
}

std::optional<std::string> nextSerial(std::string_view serial) {
    if (allDigits(serial)) {
        const auto number = wholeNumber(serial);
        if (!number || *number == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
        std::string next = std::to_string(*number + 1);
        // Leading zeros keep the number's width: 0099 is followed by 0100.
        if (next.size() < serial.size()) next.insert(0, serial.size() - next.size(), '0');
        return next;
    }
    auto mac = parseMac(serial);
    if (!mac) return std::nullopt;
    for (std::size_t i = kMacSize; i-- > 0;) {
        if (++mac->bytes[i] != 0) return macText(*mac);
    }
    return std::nullopt;  // FF:FF:FF:FF:FF:FF wrapped round
}

std::string serialFitRefusal(std::int32_t address, std::size_t size, std::int32_t start,
                             std::int32_t end) {
    const auto last = static_cast<std::int64_t>(address) + static_cast<std::int64_t>(size) - 1;
    if (address >= start && last <= end && start >= 0 &&
        last < static_cast<std::int64_t>(kImageSize)) {
        return {};
    }
    char text[120];
    std::snprintf(text, sizeof text, "0x%04X: %zu %s in the image's range 0x%04X to 0x%04X",
                  static_cast<unsigned>(address), size,
                  size == 1 ? "byte does not fit" : "bytes do not fit",
                  static_cast<unsigned>(start), static_cast<unsigned>(end));
    return text;
}

std::string placeSerial(ImageBytes& image, std::int32_t start, std::int32_t end,
                        std::int32_t address, const std::vector<std::uint8_t>& bytes) {
    if (std::string why = serialFitRefusal(address, bytes.size(), start, end); !why.empty()) {
        return why;
    }
    std::copy(bytes.begin(), bytes.end(), image.begin() + address);
    return {};
}

}  // namespace comflash::factory
