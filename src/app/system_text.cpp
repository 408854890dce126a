#include "app/system_text.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace comflash::app {

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

namespace {

// The length of the UTF-8 sequence that starts `text`, or 0 when none does.
std::size_t sequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned minimum = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    unsigned code = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::string shownName(std::string_view bytes) {
    std::string shown;
    while (!bytes.empty()) {
        const std::size_t length = sequenceLength(bytes);
        if (length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X",
                          static_cast<unsigned char>(bytes.front()));
            shown += escaped;
            bytes.remove_prefix(1);
        } else {
            shown.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    return shown;
}

#ifdef _WIN32

namespace {

std::wstring widen(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view wide, UINT codePage) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

}  // namespace

std::string fromCodePage(std::string_view text, unsigned codePage) {
    return narrow(widen(text, codePage), CP_UTF8);
}

std::string toCodePage(std::string_view utf8, unsigned codePage) {
    return narrow(widen(utf8, CP_UTF8), codePage);
}

std::string fromSystemCodePage(std::string_view text) {
    return fromCodePage(text, CP_ACP);
}

std::string toSystemCodePage(std::string_view utf8) {
    return toCodePage(utf8, CP_ACP);
}

#else

std::string fromSystemCodePage(std::string_view text) {
    return std::string(text);
}

std::string toSystemCodePage(std::string_view utf8) {
    return std::string(utf8);
}

#endif

}  // namespace comflash::app
