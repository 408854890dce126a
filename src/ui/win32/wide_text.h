// Texts at the Win32 interface: UTF-16 there, UTF-8 inside the program; and the system's own
// words for an error code.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace comflash::ui::win32 {

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);
// FormatMessageW's text for a system error code, without its line break; the code as a
// number when the system has no text for it.
std::string systemReason(DWORD error);

}  // namespace comflash::ui::win32
