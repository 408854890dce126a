// A window built from its catalogue entry: a fixed-size top-level window with every control
// at its catalogue place, in pixels at the system's DPI. Loading restores the controls'
// initial properties and runs onLoad; unloading (by the program or the close box) runs
// onUnload, stops the controls and hides the window. The same object can be loaded again any
// number of times. A modal show disables the toolkit's other windows and runs a nested
// message loop until the window unloads; timers and serial notices keep arriving in it.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ui/win32/control_adapter.h"
#include "ui/window.h"

namespace comflash::ui::win32 {

class Win32Toolkit;
class Win32Button;
class Win32ComboBox;

class Win32Window final : public Window {
  public:
    Win32Window(const WindowEntry& entry, Win32Toolkit& toolkit);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    const WindowEntry& entry() const override { return entry_; }
    std::string caption() const override;
    void setCaption(const std::string& text) override;
    void show() override;
    void showModal() override;
    void unload() override;
    bool loaded() const override { return loaded_; }

    Button& button(std::string_view name) override;
    Label& label(std::string_view name) override;
    ProgressBar& progressBar(std::string_view name) override;
    Timer& timer(std::string_view name) override;
    FileList& fileList(std::string_view name) override;
    ComboBox& comboBox(std::string_view name) override;
    CommControl& comm(std::string_view name) override;

    HWND handle() const { return window_; }
    // The window of a control that has one; none for timers, serial controls and file lists.
    HWND controlHandle(std::string_view name) const;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void makeControl(const ControlEntry& control, int id);
    bool load();
    void hide();
    void present();
    void place();
    void focusFirst();

    template <typename Control>
    Control& find(std::string_view name, ControlKind kind) {
        const ControlEntry* control = entry_.find(name);
        const auto found = controls_.find(name);
        Control* typed = control != nullptr && control->kind == kind && found != controls_.end()
                             ? dynamic_cast<Control*>(found->second.get())
                             : nullptr;
        if (typed == nullptr) {
            throw std::invalid_argument("window " + std::string(entry_.name) +
                                        " has no such control: " + std::string(name));
        }
        return *typed;
    }

    const WindowEntry& entry_;
    Win32Toolkit& toolkit_;
    HWND window_ = nullptr;
    std::map<std::string_view, std::unique_ptr<ControlAdapter>> controls_;
    std::map<std::string_view, HWND> controlWindows_;
    std::map<int, Win32Button*> buttons_;
    std::map<int, Win32ComboBox*> combos_;
    bool loaded_ = false;
    // The windows a modal show disabled, enabled again as it ends.
    std::vector<HWND> disabled_;
    // The control that had the focus when the window was last deactivated.
    HWND focus_ = nullptr;
};

}  // namespace comflash::ui::win32
