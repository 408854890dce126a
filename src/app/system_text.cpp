#include "app/system_text.h"

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
