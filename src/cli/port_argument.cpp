#include "cli/port_argument.h"

#include <charconv>

namespace comflash::cli {

namespace {

constexpr std::string_view kPrefix = "COM";
constexpr int kLastPort = 32767;  // the port number is a signed 16-bit value

bool startsWithCom(std::string_view text) {
    if (text.size() < kPrefix.size()) return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        const char c = text[i];
        const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != kPrefix[i]) return false;
    }
    return true;
}

}  // namespace

PortArgument parsePortArgument(std::string_view text, bool paths) {
    if (text.find('/') != std::string_view::npos) return {1, std::string(text), {}};
    if (startsWithCom(text)) {
        const std::string_view digits = text.substr(kPrefix.size());
        int number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (!digits.empty() && digits.front() != '-' && digits.front() != '+' &&
            error == std::errc() && end == digits.data() + digits.size() && number >= 1 &&
            number <= kLastPort) {
            return {static_cast<std::int16_t>(number), {}, {}};
        }
    }
    std::string failure(1, '"');
    failure += text;
    failure += "\" is no port: give COM1 to COM32767";
    if (paths) failure += ", or a device path such as /dev/ttyUSB0";
    return {0, {}, failure};
}

}  // namespace comflash::cli
