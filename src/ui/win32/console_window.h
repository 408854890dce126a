// A window of the Windows command line: built from its catalogue entry like the drawn ones,
// never shown. Its labels, buttons and lists hold their values; its progress bars pass each
// value on; its timers and serial controls are the real ones, on the thread's message window.
// A modal show handles messages until the window unloads, so timer and serial events keep
// arriving.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ui/win32/control_adapter.h"
#include "ui/window.h"

namespace comflash::ui::win32 {

class ConsoleToolkit;

class ConsoleWindow final : public Window {
  public:
    // progressShown receives every value a progress bar of the window is given.
    ConsoleWindow(const WindowEntry& entry, ConsoleToolkit& toolkit,
                  std::function<void(double)> progressShown);
    ~ConsoleWindow() override;
    ConsoleWindow(const ConsoleWindow&) = delete;
    ConsoleWindow& operator=(const ConsoleWindow&) = delete;

    const WindowEntry& entry() const override { return entry_; }
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    void show() override { load(); }
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

    // Closes the window's serial ports at once, whatever the window is doing (Ctrl-C).
    void closePorts();

  private:
    bool load();
    template <typename Control>
    Control& find(std::string_view name, ControlKind kind);

    const WindowEntry& entry_;
    ConsoleToolkit& toolkit_;
    std::string caption_;
    std::map<std::string_view, std::unique_ptr<ControlAdapter>> controls_;
    bool loaded_ = false;
};

}  // namespace comflash::ui::win32
