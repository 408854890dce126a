#include "ui/win32/message_window.h"

#include <stdexcept>

namespace comflash::ui::win32 {

namespace {

constexpr UINT kNotice = WM_APP + 1;
constexpr wchar_t kClassName[] = L"comflash.MessageWindow";

}  // namespace

MessageWindow& MessageWindow::instance() {
    static MessageWindow window;
    return window;
}

MessageWindow::MessageWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MessageWindow::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_ == nullptr) throw std::runtime_error("cannot create the message window");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

UINT_PTR MessageWindow::add(Receiver receiver) {
    const UINT_PTR number = next_++;
    receivers_.emplace(number, std::move(receiver));
    return number;
}

void MessageWindow::remove(UINT_PTR number) {
    stopTimer(number);
    receivers_.erase(number);
}

void MessageWindow::post(UINT_PTR number, LPARAM value) const {
    PostMessageW(window_, kNotice, number, value);
}

void MessageWindow::startTimer(UINT_PTR number, int milliseconds) const {
    SetTimer(window_, number, static_cast<UINT>(milliseconds), nullptr);
}

void MessageWindow::stopTimer(UINT_PTR number) const {
    KillTimer(window_, number);
}

LRESULT CALLBACK MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && (message == kNotice || message == WM_TIMER)) {
        self->deliver(wParam, message == kNotice ? lParam : 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The receiver is copied first: it may remove itself (a window unloading from its handler).
void MessageWindow::deliver(UINT_PTR number, LPARAM value) {
    const auto found = receivers_.find(number);
    if (found == receivers_.end()) return;
    const Receiver receiver = found->second;
    receiver(value);
}

}  // namespace comflash::ui::win32
