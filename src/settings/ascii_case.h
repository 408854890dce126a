// Key and value names compare without regard to ASCII case, as the registry's do. Other
// letters compare exactly.
#pragma once

#include <algorithm>
#include <string_view>

namespace comflash::settings {

constexpr char foldAsciiCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b,
                              [](char x, char y) { return foldAsciiCase(x) == foldAsciiCase(y); });
}

}  // namespace comflash::settings
