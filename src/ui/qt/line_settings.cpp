#include "ui/qt/line_settings.h"

#include <charconv>
#include <vector>

namespace comflash::ui::qt {

namespace {

constexpr int kMinDataBits = 5;
constexpr int kMaxDataBits = 8;

std::vector<std::string_view> splitAtCommas(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

// Digits only: no sign, no spaces, no trailing characters.
std::optional<int> parseNumber(std::string_view field) {
    if (field.empty() || field.front() < '0' || field.front() > '9') return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc{} || end != field.data() + field.size()) return std::nullopt;
    return value;
}

std::optional<LineSettings::Parity> parseParity(std::string_view field) {
    if (field.size() != 1) return std::nullopt;
    switch (field.front()) {
        case 'N':
        case 'n':
            return LineSettings::Parity::None;
        case 'E':
        case 'e':
            return LineSettings::Parity::Even;
        case 'O':
        case 'o':
            return LineSettings::Parity::Odd;
        case 'M':
        case 'm':
            return LineSettings::Parity::Mark;
        case 'S':
        case 's':
            return LineSettings::Parity::Space;
        default:
            return std::nullopt;
    }
}

std::optional<LineSettings::StopBits> parseStopBits(std::string_view field) {
    if (field == "1") return LineSettings::StopBits::One;
    if (field == "1.5") return LineSettings::StopBits::OneAndHalf;
    if (field == "2") return LineSettings::StopBits::Two;
    return std::nullopt;
}

}  // namespace

std::optional<LineSettings> LineSettings::parse(std::string_view text) {
    const auto fields = splitAtCommas(text);
    if (fields.size() != 4) return std::nullopt;
    const auto baud = parseNumber(fields[0]);
    const auto parity = parseParity(fields[1]);
    const auto dataBits = parseNumber(fields[2]);
    const auto stopBits = parseStopBits(fields[3]);
    if (!baud || *baud <= 0 || !parity || !dataBits || *dataBits < kMinDataBits ||
        *dataBits > kMaxDataBits || !stopBits) {
        return std::nullopt;
    }
    return LineSettings{*baud, *parity, *dataBits, *stopBits};
}

}  // namespace comflash::ui::qt
