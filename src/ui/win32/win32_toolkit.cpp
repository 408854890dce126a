#include "ui/win32/win32_toolkit.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "ui/win32/message_window.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_window.h"

namespace comflash::ui::win32 {

namespace {

UINT iconStyle(Icon icon) {
    switch (icon) {
        case Icon::Critical:
            return MB_ICONERROR;
        case Icon::Exclamation:
            return MB_ICONEXCLAMATION;
        case Icon::None:
            break;
    }
    return 0;
}

bool isButton(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpiW(name, L"Button") == 0;
}

// The file dialog's type list: name, NUL, pattern, NUL, ..., a second NUL at the end.
std::wstring filterText(const std::vector<FileFilter>& filters) {
    std::wstring text;
    for (const FileFilter& filter : filters) {
        text += wide(filter.name);
        text += L'\0';
        text += wide(filter.pattern);
        text += L'\0';
    }
    text += L'\0';
    return text;
}

}  // namespace

Win32Toolkit::Win32Toolkit(PortToolTip portToolTip) : portToolTip_(std::move(portToolTip)) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = 96;
    // The system's dialog font, at the system's DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        dialogFont_ = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    if (dialogFont_ == nullptr) dialogFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    MessageWindow::instance();
}

Win32Toolkit::~Win32Toolkit() {
    for (const HFONT font : fonts_) DeleteObject(font);
}

std::unique_ptr<Window> Win32Toolkit::createWindow(const WindowEntry& entry) {
    auto window = std::make_unique<Win32Window>(entry, *this);
    if (entry.placement == Placement::CenterScreen && mainWindow_ == nullptr) {
        mainWindow_ = window->handle();
    }
    return window;
}

// The box disables every window of the program while it is open (it has no owner); its own
// loop still delivers the timers' ticks and the serial controls' notices.
Answer Win32Toolkit::showMessage(const MessageBox& box) {
    const bool retry = box.buttons == Buttons::RetryCancel;
    const std::wstring title = wide(box.title ? *box.title : std::string(kDefaultTitle));
    const int answer =
        MessageBoxW(nullptr, wide(box.text).c_str(), title.c_str(),
                    iconStyle(box.icon) | (retry ? MB_RETRYCANCEL : MB_OK) | MB_TASKMODAL);
    switch (answer) {
        case IDRETRY:
            return Answer::Retry;
        case IDOK:
            return Answer::Ok;
        default:
            return retry ? Answer::Cancel : Answer::Ok;
    }
}

void Win32Toolkit::sleep(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

// The path may be as long as the system allows, not just MAX_PATH.
std::optional<std::string> Win32Toolkit::showFileDialog(const FileDialogRequest& request) {
    std::wstring path(32768, L'\0');
    const std::wstring initial = wide(request.initialName);
    std::copy_n(initial.begin(), std::min(initial.size(), path.size() - 1), path.begin());
    const std::wstring filters = filterText(request.filters);
    const std::wstring title = wide(request.title);
    const std::wstring suffix = wide(request.defaultSuffix);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = request.filters.empty() ? nullptr : filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (request.confirmOverwrite) dialog.Flags |= OFN_OVERWRITEPROMPT;
    if (request.fileMustExist) dialog.Flags |= OFN_FILEMUSTEXIST;
    const BOOL chosen = request.mode == FileDialogMode::Open ? GetOpenFileNameW(&dialog)
                                                             : GetSaveFileNameW(&dialog);
    if (!chosen) {
        if (const DWORD error = CommDlgExtendedError(); error != 0) {
            throw std::runtime_error("the file dialog failed (code " + std::to_string(error) + ")");
        }
        return std::nullopt;
    }
    path.resize(path.find(L'\0'));
    return utf8(path);
}

std::string Win32Toolkit::portDevice(int number) const {
    return number >= 1 ? "COM" + std::to_string(number) : std::string();
}

std::string Win32Toolkit::portToolTip(int number) const {
    return portToolTip_ ? portToolTip_(number) : portDevice(number);
}

int Win32Toolkit::run() {
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) dispatch(message);
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

void Win32Toolkit::runUntil(const std::function<bool()>& done) {
    MSG message{};
    while (!done()) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got < 0) return;
        dispatch(message);
    }
}

HFONT Win32Toolkit::fontFor(const Font& font) {
    if (font.family.empty()) return dialogFont_;
    LOGFONTW description{};
    description.lfHeight = -static_cast<LONG>(std::lround(font.points * dpi_ / 72.0));
    description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    description.lfCharSet = GB2312_CHARSET;
    const std::wstring family = wide(font.family);
    std::copy_n(family.begin(), std::min<std::size_t>(family.size(), LF_FACESIZE - 1),
                description.lfFaceName);
    const HFONT made = CreateFontIndirectW(&description);
    if (made == nullptr) return dialogFont_;
    fonts_.push_back(made);
    return made;
}

void Win32Toolkit::added(Win32Window& window) {
    windows_.push_back(&window);
}

void Win32Toolkit::removed(Win32Window& window) {
    std::erase(windows_, &window);
    if (window.handle() == mainWindow_) mainWindow_ = nullptr;
}

// Enter on a focused push button presses it, as Space does; the rest of the keyboard goes to
// the dialog manager of the window the message is for.
void Win32Toolkit::dispatch(MSG& message) {
    const HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    const bool ours = root != nullptr && std::any_of(windows_.begin(), windows_.end(),
                                                     [root](const Win32Window* window) {
                                                         return window->handle() == root;
                                                     });
    if (ours) {
        if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
            isButton(message.hwnd)) {
            SendMessageW(message.hwnd, BM_CLICK, 0, 0);
            return;
        }
        if (IsDialogMessageW(root, &message)) return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace comflash::ui::win32
