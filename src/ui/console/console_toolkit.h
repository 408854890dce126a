// The toolkit of a program without a display. Windows are console windows; message boxes go
// to the front end, which prints them and gives the answer, or leaves it to the user, whose
// line is then read from the terminal while events keep arriving; a pause blocks the thread.
// A QCoreApplication must exist before the first call.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/qt/qt_comm.h"
#include "ui/window.h"

namespace comflash::ui::console {

class ConsoleToolkit final : public Toolkit {
  public:
    struct FrontEnd {
        // Prints the box. Returns its answer, or none when the user is to type it.
        std::function<std::optional<Answer>(const MessageBox& box)> show;
        // A line the user typed (none: the input ended). Returns the answer, or none when the
        // line answers nothing and the user is asked again.
        std::function<std::optional<Answer>(const std::optional<std::string>& line)> reply;
        // A progress bar of a window was set to this fraction.
        std::function<void(double fraction)> progress;
    };

    // portDevice maps port number n ("COM"n) to the device the serial controls open; typed
    // answers are read from the file descriptor `input`.
    ConsoleToolkit(qt::QtComm::PortDevice portDevice, FrontEnd frontEnd, int input);

    std::unique_ptr<Window> createWindow(const WindowEntry& entry) override;
    Answer showMessage(const MessageBox& box) override;
    void sleep(int milliseconds) override;
    // The command line names its files; a console has no dialog to ask with.
    std::optional<std::string> showFileDialog(const FileDialogRequest& request) override;
    std::string portDevice(int number) const override { return portDevice_(number); }

  private:
    std::optional<std::string> readLine();

    qt::QtComm::PortDevice portDevice_;
    FrontEnd frontEnd_;
    int input_;
    std::string pending_;  // typed bytes after the last line taken
    bool inputEnded_ = false;
};

}  // namespace comflash::ui::console
