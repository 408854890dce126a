// Texts at the system's edges. Inside the program every text is UTF-8. Windows keeps file
// names in UTF-16 and files such as Config.txt in the system's 8-bit (ANSI) code page, GBK on
// a Chinese Windows; elsewhere both are in the locale's encoding, UTF-8, and pass unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace comflash::app {

std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8FromPath(const std::filesystem::path& path);

// A name as a person reads it: UTF-8 as it stands, every byte that is not part of UTF-8 (a
// Latin-1 file name on Linux, where names are bytes) as \xHH.
std::string shownName(std::string_view bytes);

// Text as the system's 8-bit code page has it, to UTF-8 and back. A character the code page
// lacks becomes "?" on the way back.
std::string fromSystemCodePage(std::string_view text);
std::string toSystemCodePage(std::string_view utf8);

#ifdef _WIN32
// The same with a code page given by number (936 for GBK).
std::string fromCodePage(std::string_view text, unsigned codePage);
std::string toCodePage(std::string_view utf8, unsigned codePage);
#endif

}  // namespace comflash::app
