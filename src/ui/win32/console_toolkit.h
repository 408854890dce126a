// The toolkit of the Windows command line: windows that are never drawn, message boxes handed
// to the front end, which prints them and gives the answer or leaves it to the user, whose
// line is then read from standard input while timer and serial events keep arriving. The
// session of port number n opens the system's port that portNumber(n) names.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/window.h"

namespace comflash::ui::win32 {

class ConsoleWindow;

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
    using PortNumber = std::function<int(int number)>;

    // Typed answers are read from the handle `input`.
    ConsoleToolkit(PortNumber portNumber, FrontEnd frontEnd, void* input);
    ~ConsoleToolkit() override;
    ConsoleToolkit(const ConsoleToolkit&) = delete;
    ConsoleToolkit& operator=(const ConsoleToolkit&) = delete;

    std::unique_ptr<Window> createWindow(const WindowEntry& entry) override;
    Answer showMessage(const MessageBox& box) override;
    void sleep(int milliseconds) override;
    // The command line names its files; a console has no dialog to ask with.
    std::optional<std::string> showFileDialog(const FileDialogRequest& request) override;
    std::string portDevice(int number) const override;
    int portNumber(int number) const { return portNumber_(number); }

    // Handles the thread's messages until `done` says so.
    void runUntil(const std::function<bool()>& done);
    // Closes every serial port of every window (Ctrl-C).
    void closePorts();

    void added(ConsoleWindow& window);
    void removed(ConsoleWindow& window);

  private:
    std::optional<std::string> readLine();

    PortNumber portNumber_;
    FrontEnd frontEnd_;
    void* input_;
    std::vector<ConsoleWindow*> windows_;

    // Typed lines come from a thread of their own, since reading blocks; it is started at the
    // first question and posts what it read to the message window.
    struct Typed;
    std::shared_ptr<Typed> typed_;
};

}  // namespace comflash::ui::win32
