#include "ui/headless/headless_window.h"

#include <stdexcept>

#include "ui/headless/headless_toolkit.h"

namespace comflash::ui::headless {

HeadlessWindow::HeadlessWindow(HeadlessToolkit& toolkit, const WindowEntry& entry)
    : toolkit_(toolkit), entry_(entry), caption_(entry.caption) {
    for (const auto& control : entry.controls) {
        const std::string text(control.text);
        Control made;
        switch (control.kind) {
            case ControlKind::Button:
                made = std::make_unique<HeadlessButton>(*this, text, control.visible);
                break;
            case ControlKind::Label:
                made = std::make_unique<HeadlessLabel>(text);
                break;
            case ControlKind::ProgressBar:
                made = std::make_unique<HeadlessProgressBar>();
                break;
            case ControlKind::Timer:
                made = std::make_unique<HeadlessTimer>(toolkit.clock());
                break;
            case ControlKind::FileList:
                made = std::make_unique<DirectoryFileList>();
                break;
            case ControlKind::ComboBox:
                made = std::make_unique<HeadlessComboBox>();
                break;
            case ControlKind::Comm:
                made = std::make_unique<HeadlessComm>(toolkit);
                break;
        }
        controls_.emplace(std::string(control.name), std::move(made));
    }
}

HeadlessWindow::~HeadlessWindow() {
    toolkit_.forget(*this);
}

template <typename T>
T& HeadlessWindow::get(std::string_view name) {
    const auto it = controls_.find(name);
    if (it == controls_.end()) {
        throw std::logic_error(std::string(entry_.name) + " has no control " + std::string(name));
    }
    auto* control = std::get_if<std::unique_ptr<T>>(&it->second);
    if (!control) {
        throw std::logic_error(std::string(entry_.name) + "." + std::string(name) +
                               " is another kind of control");
    }
    return **control;
}

void HeadlessWindow::resetControls() {
    caption_ = std::string(entry_.caption);
    for (const auto& control : entry_.controls) {
        const std::string text(control.text);
        switch (control.kind) {
            case ControlKind::Button:
                get<HeadlessButton>(control.name).setCaption(text);
                break;
            case ControlKind::Label:
                get<HeadlessLabel>(control.name).reset(text);
                break;
            case ControlKind::ProgressBar:
                get<HeadlessProgressBar>(control.name).reset();
                break;
            case ControlKind::Timer:
                get<HeadlessTimer>(control.name).load();
                break;
            case ControlKind::FileList:
                get<DirectoryFileList>(control.name).setPath("");
                break;
            case ControlKind::ComboBox:
                get<HeadlessComboBox>(control.name).clear();
                break;
            case ControlKind::Comm:
                get<HeadlessComm>(control.name).reset();
                break;
        }
    }
}

// Loading a loaded window does nothing: its Load handler runs once per opening.
void HeadlessWindow::load() {
    if (loaded_) return;
    resetControls();
    loaded_ = true;
    if (onLoad) onLoad();
}

void HeadlessWindow::show() {
    load();
}

void HeadlessWindow::showModal() {
    modal_ = true;
    toolkit_.pushModal(*this);
    load();
    toolkit_.runUntil([this] { return !loaded_; }, entry_.name);
    toolkit_.popModal(*this);
    modal_ = false;
}

void HeadlessWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    if (onUnload) onUnload();
    // The controls go with the window: timers stop and the serial port closes.
    for (const auto& control : entry_.controls) {
        if (control.kind == ControlKind::Timer) get<HeadlessTimer>(control.name).unload();
        if (control.kind == ControlKind::Comm) get<HeadlessComm>(control.name).setPortOpen(false);
    }
}

bool HeadlessWindow::closeBox() {
    if (!acceptsInput()) return false;
    unload();
    return true;
}

bool HeadlessWindow::acceptsInput() const {
    return loaded_ && toolkit_.messageBoxesOpen() == 0 && toolkit_.topModalIs(*this);
}

}  // namespace comflash::ui::headless
