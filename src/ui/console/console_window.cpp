#include "ui/console/console_window.h"

#include "ui/console/console_controls.h"
#include "ui/qt/qt_timer.h"
#include "ui/qt/reloaded_file_list.h"

namespace comflash::ui::console {

ConsoleWindow::ConsoleWindow(const WindowEntry& entry, const qt::QtComm::PortDevice& portDevice,
                             std::function<void(double)> progressShown)
    : AdapterWindow(entry), caption_(entry.caption) {
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
        addControl(control, std::move(adapter));
    }
}

void ConsoleWindow::showModal() {
    if (load()) runModal();
}

}  // namespace comflash::ui::console
