// The main window: start-up from Config.txt in its Load handler, and its four buttons (Read and
// Save stay hidden).
#pragma once

#include <memory>
#include <string>

#include "app/app_state.h"
#include "desktop/port_dialog.h"
#include "desktop/read_back_commands.h"
#include "desktop/session_window.h"
#include "desktop/update_command.h"
#include "settings/registry_store.h"
#include "ui/window.h"

namespace comflash::desktop {

class MainWindow {
  public:
    MainWindow(AppState& state, ui::Toolkit& toolkit, settings::RegistryStore& store,
               std::string programFolder);

    // Loads the main window and shows it. False when start-up failed: the reason has been
    // shown in a message box, and the window closed before it was ever shown.
    bool show();
    // Why start-up failed, one line naming the file and what is wrong with it.
    const std::string& failure() const { return failure_; }
    ui::Window& window() { return *window_; }

    // The handlers of the hidden Read and Save buttons, which no click can reach: the way in
    // for a caller other than the window.
    void onReadClicked() { readBack_.onReadClicked(); }
    void onSaveClicked() { readBack_.onSaveClicked(); }

  private:
    void onLoad();
    void onPortButtonClicked();
    void showSessionWindow();
    void fail(const std::string& why);

    AppState& state_;
    ui::Toolkit& toolkit_;
    settings::RegistryStore& store_;
    std::string programFolder_;
    std::unique_ptr<ui::Window> window_;
    std::unique_ptr<ui::Window> formComPort_;
    std::unique_ptr<desktop::PortDialog> comPortDialog_;
    std::unique_ptr<ui::Window> formProcess_;
    std::unique_ptr<desktop::SessionWindow> session_;
    desktop::UpdateCommand update_;
    desktop::ReadBackCommands readBack_;
    std::string failure_;
};

}  // namespace comflash::desktop
