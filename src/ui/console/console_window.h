// A window of a program without a display: built from its catalogue entry like the real ones,
// never drawn. Its timers and serial ports are the real program's; its modal show runs a
// nested event loop until the window unloads, so timer and serial events keep arriving.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ui/qt/control_adapter.h"
#include "ui/qt/qt_comm.h"
#include "ui/window.h"

namespace comflash::ui::console {

class ConsoleWindow final : public Window {
  public:
    // progressShown receives every value a progress bar of the window is given.
    ConsoleWindow(const WindowEntry& entry, const qt::QtComm::PortDevice& portDevice,
                  std::function<void(double)> progressShown);

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
    // The serial control itself, for what the control layer does not say: why it failed.
    qt::QtComm& qtComm(std::string_view name);

  private:
    bool load();
    template <typename Control>
    Control& find(std::string_view name, ControlKind kind);

    const WindowEntry& entry_;
    std::string caption_;
    std::map<std::string_view, std::unique_ptr<qt::ControlAdapter>> controls_;
    bool loaded_ = false;
    QPointer<QEventLoop> modalLoop_;
};

}  // namespace comflash::ui::console
