// The main window: start-up from Config.txt in its Load handler, and its four buttons (Read and
// Save stay hidden).
#pragma once

#include <memory>
#include <string>

#include "app/app_state.h"
#include "image/read_back_commands.h"
#include "image/update_command.h"
#include "session/form_process.h"
#include "settings/form_com_port.h"
#include "settings/registry_store.h"
#include "ui/window.h"

namespace comflash::app {

class Form1 {
  public:
    Form1(AppState& state, ui::Toolkit& toolkit, settings::RegistryStore& store,
          std::string programFolder);

    // Loads the main window and shows it. False when start-up failed: the reason has been
    // shown in a message box, and the window closed before it was ever shown.
    bool show();
    // Why start-up failed, one line naming the file and what is wrong with it.
    const std::string& failure() const { return failure_; }
    ui::Window& window() { return *window_; }

    // The handlers of the hidden Read and Save buttons, which no click can reach: the way in
    // for a caller other than the window.
    void CommandRead_Click() { readBack_.CommandRead_Click(); }
    void CommandSave_Click() { readBack_.CommandSave_Click(); }

  private:
    void Form_Load();
    void CommandCom_Click();
    void showSessionWindow();
    void fail(const std::string& why);

    AppState& state_;
    ui::Toolkit& toolkit_;
    settings::RegistryStore& store_;
    std::string programFolder_;
    std::unique_ptr<ui::Window> window_;
    std::unique_ptr<ui::Window> formComPort_;
    std::unique_ptr<settings::FormComPort> comPortDialog_;
    std::unique_ptr<ui::Window> formProcess_;
    std::unique_ptr<session::FormProcess> session_;
    image::UpdateCommand update_;
    image::ReadBackCommands readBack_;
    std::string failure_;
};

}  // namespace comflash::app
