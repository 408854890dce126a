#include "ui/win32/win32_controls.h"

#include <commctrl.h>

#include <cmath>

#include "ui/win32/message_window.h"
#include "ui/win32/wide_text.h"

namespace comflash::ui::win32 {

namespace {

// The room the port list drops down into, below its field.
constexpr int kDropDownRows = 8;
constexpr LPARAM kToolTipWidth = 480;  // pixels

HWND makeChild(const wchar_t* windowClass, DWORD style, const ControlEntry& entry,
               const Placement& placement, int extraHeight = 0) {
    const HWND child =
        CreateWindowExW(0, windowClass, L"", WS_CHILD | style, pixelsAt(entry.left, placement.dpi),
                        pixelsAt(entry.top, placement.dpi), pixelsAt(entry.width, placement.dpi),
                        pixelsAt(entry.height, placement.dpi) + extraHeight, placement.parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(placement.id)),
                        GetModuleHandleW(nullptr), nullptr);
    if (placement.font != nullptr) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(placement.font), FALSE);
    }
    return child;
}

void setText(HWND window, const std::string& text) {
    SetWindowTextW(window, wide(text).c_str());
}

}  // namespace

std::string windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

Win32Button::Win32Button(const ControlEntry& entry, const Placement& placement)
    : entry_(entry), button_(makeChild(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, entry, placement)) {}

void Win32Button::setCaption(const std::string& text) {
    setText(button_, text);
}

bool Win32Button::visible() const {
    return (GetWindowLongW(button_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Button::load() {
    setCaption(std::string(entry_.text));
    ShowWindow(button_, entry_.visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Button::clicked() {
    if (!IsWindowVisible(button_) || !IsWindowEnabled(GetAncestor(button_, GA_ROOT))) return;
    if (onClick) onClick();
}

// Captions start at the top left and wrap inside the label's box; "&" is shown as it is.
Win32Label::Win32Label(const ControlEntry& entry, const Placement& placement)
    : entry_(entry), label_(makeChild(L"STATIC", SS_LEFT | SS_NOPREFIX, entry, placement)) {}

void Win32Label::setCaption(const std::string& text) {
    setText(label_, text);
}

void Win32Label::load() {
    setCaption(std::string(entry_.text));
    ShowWindow(label_, entry_.visible ? SW_SHOWNA : SW_HIDE);
}

namespace {
constexpr int kProgressSteps = 10000;
}  // namespace

Win32ProgressBar::Win32ProgressBar(const ControlEntry& entry, const Placement& placement)
    : entry_(entry), bar_(makeChild(PROGRESS_CLASSW, 0, entry, placement)) {
    SendMessageW(bar_, PBM_SETRANGE32, 0, kProgressSteps);
}

void Win32ProgressBar::setValue(double fraction) {
    value_ = fraction;
    const double clamped = fraction < 0 ? 0 : (fraction > 1 ? 1 : fraction);
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(std::lround(clamped * kProgressSteps)), 0);
}

void Win32ProgressBar::load() {
    setValue(0);
    ShowWindow(bar_, entry_.visible ? SW_SHOWNA : SW_HIDE);
}

Win32ComboBox::Win32ComboBox(const ControlEntry& entry, const Placement& placement)
    : entry_(entry),
      combo_(makeChild(L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, entry, placement,
                       kDropDownRows * pixelsAt(entry.height, placement.dpi))) {
    toolTip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, placement.parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = placement.parent;
    tool.uId = reinterpret_cast<UINT_PTR>(combo_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // A long tip (an adapter's names and serial number) wraps between words.
    SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, kToolTipWidth);
}

// A drop-down list selects nothing by itself when entries are added.
void Win32ComboBox::addItem(const std::string& text) {
    SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
    toolTips_.emplace_back();
}

void Win32ComboBox::setItemToolTip(int index, const std::string& text) {
    if (index < 0 || index >= static_cast<int>(toolTips_.size())) return;
    toolTips_[static_cast<std::size_t>(index)] = text;
    if (index == listIndex()) showSelectedToolTip();
}

int Win32ComboBox::listCount() const {
    return static_cast<int>(SendMessageW(combo_, CB_GETCOUNT, 0, 0));
}

std::string Win32ComboBox::list(int index) const {
    const LRESULT length = SendMessageW(combo_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(combo_, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return utf8(text);
}

int Win32ComboBox::listIndex() const {
    return static_cast<int>(SendMessageW(combo_, CB_GETCURSEL, 0, 0));
}

void Win32ComboBox::setListIndex(int index) {
    const WPARAM selected =
        index >= 0 && index < listCount() ? static_cast<WPARAM>(index) : static_cast<WPARAM>(-1);
    SendMessageW(combo_, CB_SETCURSEL, selected, 0);
    showSelectedToolTip();
}

std::string Win32ComboBox::text() const {
    const int index = listIndex();
    return index < 0 ? std::string() : list(index);
}

void Win32ComboBox::load() {
    SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
    toolTips_.clear();
    showSelectedToolTip();
    ShowWindow(combo_, entry_.visible ? SW_SHOWNA : SW_HIDE);
}

void Win32ComboBox::selectionChanged() {
    showSelectedToolTip();
}

void Win32ComboBox::showSelectedToolTip() {
    const int index = listIndex();
    std::wstring text = index >= 0 && index < static_cast<int>(toolTips_.size())
                            ? wide(toolTips_[static_cast<std::size_t>(index)])
                            : std::wstring();
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetParent(combo_);
    tool.uId = reinterpret_cast<UINT_PTR>(combo_);
    tool.lpszText = text.data();
    SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

Win32Timer::Win32Timer()
    : number_(MessageWindow::instance().add([this](LPARAM) { systemTicked(); })) {}

Win32Timer::~Win32Timer() {
    MessageWindow::instance().remove(number_);
}

void Win32Timer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    apply(true);
}

void Win32Timer::setEnabled(bool on) {
    const bool restart = on && !enabled_;
    enabled_ = on;
    apply(restart);
}

void Win32Timer::load() {
    loaded_ = true;
    interval_ = 0;
    enabled_ = true;
    apply(true);
}

void Win32Timer::unload() {
    loaded_ = false;
    apply(true);
}

void Win32Timer::apply(bool restart) {
    if (!loaded_ || !enabled_ || interval_ <= 0) {
        due_.reset();
        return;
    }
    if (due_ && !restart) return;
    const Clock::time_point now = Clock::now();
    const auto interval = std::chrono::milliseconds(interval_);
    due_ = now + interval;
    if (!systemTimer_ || *systemTimer_ > *due_) setSystemTimer(now, interval);
}

void Win32Timer::systemTicked() {
    if (!due_) {
        MessageWindow::instance().stopTimer(number_);
        systemTimer_.reset();
        return;
    }
    // The system counts in whole milliseconds from a clock of its own: a tick within one of
    // the due time is the tick.
    const Clock::time_point now = Clock::now();
    if (*due_ - now > std::chrono::milliseconds(1)) {
        setSystemTimer(now, std::chrono::ceil<std::chrono::milliseconds>(*due_ - now));
        return;
    }
    // The system's timer may be set for a rest shorter than the interval: it is set afresh.
    due_.reset();
    systemTimer_.reset();
    apply(true);
    if (onTimer) onTimer();
}

void Win32Timer::setSystemTimer(Clock::time_point now, Clock::duration after) {
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(after).count();
    MessageWindow::instance().startTimer(number_, static_cast<int>(milliseconds));
    systemTimer_ = now + after;
}

}  // namespace comflash::ui::win32
