// The sessions the command line runs, through the same code as the window's buttons: the
// Update command with its loader and messages, and the session window's behaviour, shown
// modally on whatever toolkit the runner is given.
#pragma once

#include <memory>
#include <string>

#include "app/app_state.h"
#include "image/update_command.h"
#include "session/form_process.h"
#include "ui/directory_file_list.h"
#include "ui/window.h"

namespace comflash::cli {

// The command line's exit status.
enum ExitStatus : int {
    kExitSucceeded = 0,
    kExitFailed = 1,    // the session failed or was cancelled
    kExitBadInput = 2,  // usage, Config.txt, firmware file: nothing was sent to the device
};

ExitStatus exitStatusOf(image::UpdateResult result);

class SessionRunner {
  public:
    // state holds the start-up settings (ModelId, AppTitle, UseEnglish, ComPortNumber).
    SessionRunner(AppState& state, ui::Toolkit& toolkit);

    // Writes the firmware file into the device, as the Update button does with the file it
    // chose.
    image::UpdateResult write(const std::string& path);
    // Reads the device's lower 32 KiB into the image, as the Read button does: "读取成功" and
    // true when the session succeeded.
    bool read();

    ui::Window& sessionWindow() { return *window_; }

  private:
    AppState& state_;
    ui::Toolkit& toolkit_;
    std::unique_ptr<ui::Window> window_;
    session::FormProcess session_;
    // The Update command looks at a folder only when it chooses the file itself.
    ui::DirectoryFileList unusedFileList_;
    image::UpdateCommand update_;
};

}  // namespace comflash::cli
