#include "ui/win32/win32_window.h"

#include <algorithm>

#include "ui/win32/message_window.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_comm.h"
#include "ui/win32/win32_controls.h"
#include "ui/win32/win32_toolkit.h"

namespace comflash::ui::win32 {

namespace {

constexpr wchar_t kClassName[] = L"comflash.Window";
// Control identifiers start above the dialog manager's IDOK and IDCANCEL, which Enter and
// Escape send and which no control of these windows answers to.
constexpr int kFirstControlId = 100;

void registerClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(1));
        windowClass.hIconSm = windowClass.hIcon;
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

// Fixed size, caption, close box, no maximize or minimize button.
DWORD styleOf(const WindowEntry&) {
    return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
}

// A window without a taskbar button is owned by the main window instead.
DWORD extendedStyleOf(const WindowEntry& entry) {
    DWORD style = WS_EX_CONTROLPARENT;
    if (entry.border == Border::FixedDialog) style |= WS_EX_DLGMODALFRAME;
    if (entry.taskbarButton) style |= WS_EX_APPWINDOW;
    return style;
}

}  // namespace

Win32Window::Win32Window(const WindowEntry& entry, Win32Toolkit& toolkit)
    : entry_(entry), toolkit_(toolkit) {
    registerClass();
    const int dpi = toolkit.dpi();
    RECT frame{0, 0, pixelsAt(entry.clientWidth, dpi), pixelsAt(entry.clientHeight, dpi)};
    AdjustWindowRectEx(&frame, styleOf(entry), FALSE, extendedStyleOf(entry));
    const HWND owner = entry.taskbarButton ? nullptr : toolkit.mainWindow();
    window_ = CreateWindowExW(extendedStyleOf(entry), kClassName, wide(entry.caption).c_str(),
                              styleOf(entry), CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr)
        throw std::runtime_error("cannot create window " + std::string(entry.name));
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Window::procedure));
    // Child windows are created in tab order: the dialog manager moves the focus in the
    // order the children were made.
    std::vector<const ControlEntry*> order;
    for (const ControlEntry& control : entry.controls) order.push_back(&control);
    std::stable_sort(order.begin(), order.end(), [](const ControlEntry* a, const ControlEntry* b) {
        const auto rank = [](const ControlEntry* c) {
            return c->tabIndex < 0 ? 1 << 20 : c->tabIndex;
        };
        return rank(a) < rank(b);
    });
    int id = kFirstControlId;
    for (const ControlEntry* control : order) makeControl(*control, id++);
    toolkit_.added(*this);
}

Win32Window::~Win32Window() {
    toolkit_.removed(*this);
    // The controls go first: the serial control's reader and the timers stop while the
    // window they report to still exists.
    controls_.clear();
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

std::string Win32Window::caption() const {
    return windowText(window_);
}

void Win32Window::setCaption(const std::string& text) {
    SetWindowTextW(window_, wide(text).c_str());
}

void Win32Window::show() {
    if (load()) present();
}

void Win32Window::showModal() {
    if (!load()) return;
    for (Win32Window* other : toolkit_.windows()) {
        const HWND handle = other->handle();
        if (other != this && IsWindowVisible(handle) && IsWindowEnabled(handle)) {
            EnableWindow(handle, FALSE);
            disabled_.push_back(handle);
        }
    }
    present();
    toolkit_.runUntil([this] { return !loaded_; });
}

void Win32Window::unload() {
    if (!loaded_) return;
    loaded_ = false;
    if (onUnload) onUnload();
    for (auto& [name, control] : controls_) control->unload();
    hide();
    if (window_ == toolkit_.mainWindow()) PostQuitMessage(0);
}

Button& Win32Window::button(std::string_view name) {
    return find<Win32Button>(name, ControlKind::Button);
}

Label& Win32Window::label(std::string_view name) {
    return find<Win32Label>(name, ControlKind::Label);
}

ProgressBar& Win32Window::progressBar(std::string_view name) {
    return find<Win32ProgressBar>(name, ControlKind::ProgressBar);
}

Timer& Win32Window::timer(std::string_view name) {
    return find<Win32Timer>(name, ControlKind::Timer);
}

FileList& Win32Window::fileList(std::string_view name) {
    return find<Win32FileList>(name, ControlKind::FileList);
}

ComboBox& Win32Window::comboBox(std::string_view name) {
    return find<Win32ComboBox>(name, ControlKind::ComboBox);
}

CommControl& Win32Window::comm(std::string_view name) {
    return find<Win32Comm>(name, ControlKind::Comm);
}

HWND Win32Window::controlHandle(std::string_view name) const {
    const auto found = controlWindows_.find(name);
    return found == controlWindows_.end() ? nullptr : found->second;
}

LRESULT CALLBACK Win32Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            // The close box unloads the window like the program's own unload.
            unload();
            return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (const auto button = buttons_.find(id);
                button != buttons_.end() && code == BN_CLICKED) {
                button->second->clicked();
            } else if (const auto combo = combos_.find(id);
                       combo != combos_.end() && code == CBN_SELCHANGE) {
                combo->second->selectionChanged();
            }
            return 0;
        }
        case WM_ACTIVATE:
            // The focus comes back to the control that had it when the window was left.
            if (LOWORD(wParam) == WA_INACTIVE) {
                focus_ = GetFocus();
            } else if (focus_ != nullptr && IsChild(window_, focus_)) {
                SetFocus(focus_);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32Window::makeControl(const ControlEntry& control, int id) {
    const Placement placement{window_, id, toolkit_.dpi(), toolkit_.fontFor(control.font)};
    std::unique_ptr<ControlAdapter> adapter;
    HWND handle = nullptr;
    switch (control.kind) {
        case ControlKind::Button: {
            auto button = std::make_unique<Win32Button>(control, placement);
            buttons_.emplace(id, button.get());
            handle = button->handle();
            adapter = std::move(button);
            break;
        }
        case ControlKind::Label:
            adapter = std::make_unique<Win32Label>(control, placement);
            break;
        case ControlKind::ProgressBar:
            adapter = std::make_unique<Win32ProgressBar>(control, placement);
            break;
        case ControlKind::ComboBox: {
            auto combo = std::make_unique<Win32ComboBox>(control, placement);
            combos_.emplace(id, combo.get());
            handle = combo->handle();
            adapter = std::move(combo);
            break;
        }
        case ControlKind::Timer:
            adapter = std::make_unique<Win32Timer>();
            break;
        case ControlKind::Comm:
            adapter = std::make_unique<Win32Comm>();
            break;
        case ControlKind::FileList:
            adapter = std::make_unique<Win32FileList>();
            break;
    }
    if (handle == nullptr) handle = GetDlgItem(window_, id);
    if (handle != nullptr) controlWindows_.emplace(control.name, handle);
    adapter->load();
    controls_.emplace(control.name, std::move(adapter));
}

bool Win32Window::load() {
    if (loaded_) return true;
    loaded_ = true;
    setCaption(std::string(entry_.caption));
    focus_ = nullptr;
    for (auto& [name, control] : controls_) control->load();
    if (onLoad) onLoad();
    return loaded_;
}

// The windows a modal show disabled take input again before this one goes, so that the
// system activates the window underneath rather than another program's.
void Win32Window::hide() {
    for (const HWND other : disabled_) EnableWindow(other, TRUE);
    const bool hadFocus = GetActiveWindow() == window_;
    disabled_.clear();
    ShowWindow(window_, SW_HIDE);
    if (hadFocus && toolkit_.mainWindow() != nullptr && toolkit_.mainWindow() != window_ &&
        IsWindowVisible(toolkit_.mainWindow())) {
        SetActiveWindow(toolkit_.mainWindow());
    }
}

void Win32Window::present() {
    if (!IsWindowVisible(window_)) {
        place();
        ShowWindow(window_, SW_SHOW);
        focusFirst();
    }
    SetForegroundWindow(window_);
    UpdateWindow(window_);
}

void Win32Window::place() {
    RECT area{};
    const HWND owner = toolkit_.mainWindow();
    if (entry_.placement == ui::Placement::CenterOwner && owner != nullptr && owner != window_ &&
        IsWindowVisible(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT frame{};
    GetWindowRect(window_, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Focus starts on the first control in the tab order that can take it.
void Win32Window::focusFirst() {
    for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) != 0 && (style & WS_VISIBLE) != 0 && IsWindowEnabled(child)) {
            SetFocus(child);
            return;
        }
    }
}

}  // namespace comflash::ui::win32
