// What every window built from a catalogue entry does alike, drawn or not: its controls are
// made once, kept by name and restored at every load; loading runs onLoad, unloading runs
// onUnload and stops the controls; a modal show runs a nested event loop until the window
// unloads, so that timer and serial events keep arriving.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ui/qt/control_adapter.h"
#include "ui/window.h"

namespace comflash::ui::qt {

class AdapterWindow : public Window {
  public:
    const WindowEntry& entry() const override { return entry_; }
    bool loaded() const override { return loaded_; }
    void unload() override;

    Button& button(std::string_view name) override;
    Label& label(std::string_view name) override;
    ProgressBar& progressBar(std::string_view name) override;
    Timer& timer(std::string_view name) override;
    FileList& fileList(std::string_view name) override;
    ComboBox& comboBox(std::string_view name) override;
    CommControl& comm(std::string_view name) override;

  protected:
    explicit AdapterWindow(const WindowEntry& entry) : entry_(entry) {}

    // Keeps the control made for the entry's control, loaded.
    void addControl(const ControlEntry& control, std::unique_ptr<ControlAdapter> adapter);
    // Fresh controls and caption, then onLoad. False when onLoad unloaded the window again.
    // Loading a loaded window does nothing more.
    bool load();
    // Waits in a nested event loop until the window unloads.
    void runModal(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    // The control of that name; asking for a name the entry does not have, or with the wrong
    // kind, is a programming error.
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

  private:
    // The catalogue's caption again, as a load shows it.
    virtual void restoreCaption() = 0;
    // After the controls have stopped: a drawn window disappears.
    virtual void hide() {}

    std::map<std::string_view, std::unique_ptr<ControlAdapter>> controls_;
    bool loaded_ = false;
    QPointer<QEventLoop> modalLoop_;
};

}  // namespace comflash::ui::qt
