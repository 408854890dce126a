// A window of a program without a display: built from its catalogue entry like the real ones,
// never drawn. Its timers and serial ports are the real program's; its modal show runs a
// nested event loop until the window unloads, so timer and serial events keep arriving.
#pragma once

#include <functional>
#include <string>

#include "ui/qt/adapter_window.h"
#include "ui/qt/qt_comm.h"

namespace comflash::ui::console {

class ConsoleWindow final : public qt::AdapterWindow {
  public:
    // progressShown receives every value a progress bar of the window is given.
    ConsoleWindow(const WindowEntry& entry, const qt::QtComm::PortDevice& portDevice,
                  std::function<void(double)> progressShown);

    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }

    void show() override { load(); }
    void showModal() override;

    // The serial control itself, for what the control layer does not say: why it failed.
    qt::QtComm& qtComm(std::string_view name) { return find<qt::QtComm>(name, ControlKind::Comm); }

  private:
    void restoreCaption() override { caption_ = std::string(entry_.caption); }

    std::string caption_;
};

}  // namespace comflash::ui::console
