// The native Windows toolkit: windows of standard controls, the system's message boxes and
// save dialog, and a real pause of the user-interface thread. Every message loop (the main
// one, a modal window's) lets the active window handle its keyboard as a dialog does: Tab
// and the arrow keys move the focus, Alt and a caption's marked letter press that button,
// Enter and Space press the focused button.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/window.h"

namespace comflash::ui::win32 {

class Win32Window;

class Win32Toolkit final : public Toolkit {
  public:
    using PortToolTip = std::function<std::string(int number)>;

    // portToolTip gives the COM dialog's tooltip for port n (none: no tooltip, the entry says
    // all the port's name does).
    explicit Win32Toolkit(PortToolTip portToolTip = {});
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    std::unique_ptr<Window> createWindow(const WindowEntry& entry) override;
    // Closing a Retry/Cancel box answers Cancel; closing an OK box answers OK.
    Answer showMessage(const MessageBox& box) override;
    // Received bytes wait with the reader meanwhile; no message is handled.
    void sleep(int milliseconds) override;
    std::optional<std::string> showFileDialog(const FileDialogRequest& request) override;
    // "COMn", as the system names the port.
    std::string portDevice(int number) const override;
    std::string portToolTip(int number) const override;

    // The main loop: until the main window closes. Returns the program's exit code.
    int run();
    // Handles messages until `done` says so, or the program quits (the quit is kept for the
    // loop outside).
    void runUntil(const std::function<bool()>& done);

    int dpi() const { return dpi_; }
    HFONT dialogFont() const { return dialogFont_; }
    // The font a catalogue entry names, made once and kept; the dialog font when it names none.
    HFONT fontFor(const Font& font);
    // The window centred on the screen; the others are centred on it and owned by it.
    HWND mainWindow() const { return mainWindow_; }

    void added(Win32Window& window);
    void removed(Win32Window& window);
    const std::vector<Win32Window*>& windows() const { return windows_; }

  private:
    void dispatch(MSG& message);

    PortToolTip portToolTip_;
    int dpi_ = 96;
    HFONT dialogFont_ = nullptr;
    std::vector<HFONT> fonts_;
    HWND mainWindow_ = nullptr;
    std::vector<Win32Window*> windows_;
};

}  // namespace comflash::ui::win32
