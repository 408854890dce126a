#include "ui/console/console_window.h"

#include <stdexcept>

#include "ui/console/console_controls.h"
#include "ui/qt/qt_timer.h"
#include "ui/qt/reloaded_file_list.h"

namespace comflash::ui::console {

ConsoleWindow::ConsoleWindow(const WindowEntry& entry, const qt::QtComm::PortDevice& portDevice,
                             std::function<void(double)> progressShown)
    : entry_(entry), caption_(entry.caption) {
    for (const ControlEntry& control : entry.controls) {
        std::unique_ptr<qt::ControlAdapter> adapter;
        switch (control.kind) {
            case ControlKind::Button:
                adapter = std::make_unique<ConsoleButton>(control);
                break;
            case ControlKind::Label:
                adapter = std::make_unique<ConsoleLabel>(control);
                break;
            case ControlKind::ProgressBar:
                adapter = std::make_unique<ConsoleProgressBar>(progressShown);
                break;
            case ControlKind::ComboBox:
                adapter = std::make_unique<ConsoleComboBox>();
                break;
            case ControlKind::Timer:
                adapter = std::make_unique<qt::QtTimer>();
                break;
            case ControlKind::Comm:
                adapter = std::make_unique<qt::QtComm>(portDevice);
                break;
            case ControlKind::FileList:
                adapter = std::make_unique<qt::ReloadedFileList>();
                break;
        }
        adapter->load();
        controls_.emplace(control.name, std::move(adapter));
    }
}

void ConsoleWindow::showModal() {
    if (!load()) return;
    QEventLoop loop;
    const QPointer<QEventLoop> outer = modalLoop_;
    modalLoop_ = &loop;
    loop.exec();
    modalLoop_ = outer;
}

void ConsoleWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    if (onUnload) onUnload();
    for (auto& [name, control] : controls_) control->unload();
    if (modalLoop_) modalLoop_->quit();
}

// Fresh controls and caption, then onLoad. False when onLoad unloaded the window again.
bool ConsoleWindow::load() {
    if (loaded_) return true;
    loaded_ = true;
    caption_ = std::string(entry_.caption);
    for (auto& [name, control] : controls_) control->load();
    if (onLoad) onLoad();
    return loaded_;
}

Button& ConsoleWindow::button(std::string_view name) {
    return find<ConsoleButton>(name, ControlKind::Button);
}

Label& ConsoleWindow::label(std::string_view name) {
    return find<ConsoleLabel>(name, ControlKind::Label);
}

ProgressBar& ConsoleWindow::progressBar(std::string_view name) {
    return find<ConsoleProgressBar>(name, ControlKind::ProgressBar);
}

Timer& ConsoleWindow::timer(std::string_view name) {
    return find<qt::QtTimer>(name, ControlKind::Timer);
}

FileList& ConsoleWindow::fileList(std::string_view name) {
    return find<qt::ReloadedFileList>(name, ControlKind::FileList);
}

ComboBox& ConsoleWindow::comboBox(std::string_view name) {
    return find<ConsoleComboBox>(name, ControlKind::ComboBox);
}

CommControl& ConsoleWindow::comm(std::string_view name) {
    return qtComm(name);
}

qt::QtComm& ConsoleWindow::qtComm(std::string_view name) {
    return find<qt::QtComm>(name, ControlKind::Comm);
}

template <typename Control>
Control& ConsoleWindow::find(std::string_view name, ControlKind kind) {
    const ControlEntry* control = entry_.find(name);
    const auto found = controls_.find(name);
    if (control == nullptr || control->kind != kind || found == controls_.end()) {
        throw std::invalid_argument("window " + std::string(entry_.name) +
                                    " has no such control: " + std::string(name));
    }
    return static_cast<Control&>(*found->second);
}

}  // namespace comflash::ui::console
