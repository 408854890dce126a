// The sessions the command line runs, through the same code as the window's buttons: the
// Update command with its loader and messages, and the session window's behaviour, shown
// modally on whatever toolkit the runner is given.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/port_fault.h"
#include "cli/console.h"
#include "cli/request.h"
#include "desktop/read_back_commands.h"
#include "desktop/session_window.h"
#include "desktop/update_command.h"
#include "ui/directory_file_list.h"
#include "ui/window.h"

namespace comflash::cli {

// The command line's exit status.
enum ExitStatus : int {
    kExitSucceeded = 0,
    kExitFailed = 1,    // the session failed or was cancelled
    kExitBadInput = 2,  // usage, Config.txt, firmware file: nothing was sent to the device
};

ExitStatus exitStatusOf(desktop::UpdateResult result);

class SessionRunner {
  public:
    // state holds the start-up settings (ModelId, AppTitle, UseEnglish, ComPortNumber).
    SessionRunner(AppState& state, ui::Toolkit& toolkit);

    // Writes the firmware file into the device, as the Update button does with the file it
    // chose.
    desktop::UpdateResult write(const std::string& path);
    // Reads the device's lower 32 KiB into the image, as the Read button does: "读取成功" and
    // true when the session succeeded.
    bool read();
    // Writes read the written range back before their go frame (--verify).
    void verifyWrites(bool on) { session_.verifyWrites(on); }
    // Where the session is (the verify pass among them).
    session::Session::Step step() const { return session_.step(); }
    // How the last session ended; none when no session ran (a file that could not be used).
    std::optional<session::Result> result() const { return session_.result(); }

  private:
    AppState& state_;
    ui::Toolkit& toolkit_;
    std::unique_ptr<ui::Window> window_;
    desktop::SessionWindow session_;
    // The Update command looks at a folder only when it chooses the file itself.
    ui::DirectoryFileList unusedFileList_;
    desktop::UpdateCommand update_;
    desktop::ReadBackCommands readBack_;
};

// One port's write or read, as comflash-cli runs it on a runner already set up: what it says
// on `console`, the read-back saved to the request's file, and the exit status. `portShown`
// names the port in the opening line; `describeFailure` words a failed port as the system
// does (nothing when it has nothing to add).
int runOnePort(const Request& request, const std::string& portShown, const AppState& state,
               SessionRunner& runner, Console& console,
               const std::function<std::string(const PortFault&)>& describeFailure);

// Before a write to several ports: the firmware file is read and checked once, so that a
// faulty one reaches no port, and the opening lines are printed. False (the reason said) when
// the file cannot be used.
bool loadForPorts(const Request& request, std::size_t ports, AppState& state, ui::Toolkit& toolkit,
                  Console& console);

}  // namespace comflash::cli
