// Prints what the visible windows of the desktop say, for the window tests to check what a
// user would read: each top-level window as "window: CAPTION", then each visible child as
// "  CLASS: TEXT".
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), length, nullptr, nullptr);
    return result;
}

std::string textOf(HWND window) {
    wchar_t text[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    return utf8(text);
}

std::string classOf(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return utf8(name);
}

BOOL CALLBACK printChild(HWND child, LPARAM) {
    if (IsWindowVisible(child)) {
        std::printf("  %s: %s\n", classOf(child).c_str(), textOf(child).c_str());
    }
    return TRUE;
}

BOOL CALLBACK printWindow(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    std::printf("window: %s\n", textOf(window).c_str());
    EnumChildWindows(window, printChild, 0);
    return TRUE;
}

}  // namespace

int main() {
    EnumWindows(printWindow, 0);
    std::fflush(stdout);
    return 0;
}
