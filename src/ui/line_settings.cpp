#include "ui/line_settings.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace comflash::ui {

namespace {

std::optional<int> number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Splits off the text before the next comma; the rest stays in `text`.
std::string_view nextField(std::string_view& text) {
    const auto comma = text.find(',');
    const std::string_view field = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    return field;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(std::string_view text) {
    if (std::count(text.begin(), text.end(), ',') != 3) return std::nullopt;
    const auto baud = number(nextField(text));
    const std::string_view parity = nextField(text);
    const auto dataBits = number(nextField(text));
    const auto stopBits = number(nextField(text));
    if (!baud || *baud <= 0 || parity.size() != 1 || !dataBits || *dataBits < 5 || *dataBits > 8 ||
        !stopBits || (*stopBits != 1 && *stopBits != 2)) {
        return std::nullopt;
    }
    char p = parity.front();
    if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 'a' + 'A');
    if (std::string_view("NEOMS").find(p) == std::string_view::npos) return std::nullopt;
    return LineSettings{*baud, p, *dataBits, *stopBits};
}

}  // namespace comflash::ui
