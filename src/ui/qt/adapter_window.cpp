#include "ui/qt/adapter_window.h"

namespace comflash::ui::qt {

void AdapterWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    if (onUnload) onUnload();
    for (auto& [name, control] : controls_) control->unload();
    hide();
    if (modalLoop_) modalLoop_->quit();
}

Button& AdapterWindow::button(std::string_view name) {
    return find<Button>(name, ControlKind::Button);
}

Label& AdapterWindow::label(std::string_view name) {
    return find<Label>(name, ControlKind::Label);
}

ProgressBar& AdapterWindow::progressBar(std::string_view name) {
    return find<ProgressBar>(name, ControlKind::ProgressBar);
}

Timer& AdapterWindow::timer(std::string_view name) {
    return find<Timer>(name, ControlKind::Timer);
}

FileList& AdapterWindow::fileList(std::string_view name) {
    return find<FileList>(name, ControlKind::FileList);
}

ComboBox& AdapterWindow::comboBox(std::string_view name) {
    return find<ComboBox>(name, ControlKind::ComboBox);
}

CommControl& AdapterWindow::comm(std::string_view name) {
    return find<CommControl>(name, ControlKind::Comm);
}

void AdapterWindow::addControl(const ControlEntry& control,
                               std::unique_ptr<ControlAdapter> adapter) {
    adapter->load();
    controls_.emplace(control.name, std::move(adapter));
}

bool AdapterWindow::load() {
    if (loaded_) return true;
    loaded_ = true;
    restoreCaption();
    for (auto& [name, control] : controls_) control->load();
    if (onLoad) onLoad();
    return loaded_;
}

void AdapterWindow::runModal(QEventLoop::ProcessEventsFlags flags) {
    QEventLoop loop;
    const QPointer<QEventLoop> outer = modalLoop_;
    modalLoop_ = &loop;
    loop.exec(flags);
    modalLoop_ = outer;
}

}  // namespace comflash::ui::qt
