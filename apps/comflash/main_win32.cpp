// comflash: the desktop program on Windows, with the system's own controls. Everything
// happens in the main window's handlers; the program ends when that window closes, or at
// once when start-up fails (the reason has been shown in a message box).
#include <windows.h>

#include <string>

#include "app/app_state.h"
#include "desktop/main_window.h"
#include "host/windows_ports.h"
#include "settings/registry_store.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_toolkit.h"

namespace {

std::string programFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    path.resize(path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/"));
    return comflash::ui::win32::utf8(path);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static comflash::AppState state;
    comflash::ui::win32::Win32Toolkit toolkit(
        [](int comPort) { return comflash::host::portToolTip(comPort); });
    const auto store = comflash::settings::makeSystemStore();
    comflash::desktop::MainWindow mainWindow(state, toolkit, *store, programFolder());
    if (!mainWindow.show()) return 1;
    return toolkit.run();
}
