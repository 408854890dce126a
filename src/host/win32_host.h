// The command line's host on Windows: the console (UTF-8 output with the Linux program's line
// ends), the system's own ports COM1, COM2, ... read on the loop's thread, timers on the
// thread's message loop, typed lines read on a thread of their own, Ctrl-C delivered on the
// loop, and hook commands run by cmd.exe. The host is made and used on one thread, the one that
// runs the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/host.h"

namespace comflash::host {

// Standard output and error pass bytes as they are (UTF-8 text, '\n' line ends), and a console
// shows UTF-8 and moves the cursor as the progress lines ask. The console's own code page is
// given back as the program ends, by Ctrl-C too: the console outlives the program. Call it
// first thing in main; once is enough.
void prepareOutput();

class Win32Host final : public cli::Host {
  public:
    Win32Host();
    ~Win32Host() override;
    Win32Host(const Win32Host&) = delete;
    Win32Host& operator=(const Win32Host&) = delete;

    std::ostream& out() override;
    std::ostream& err() override;
    bool outIsTerminal() const override;
    std::size_t columns() const override;
    bool inIsTerminal() const override;
    std::string programFolder() const override;
    std::string hostName() const override;

    bool namesDevicesByPath() const override { return false; }
    std::string portRefusal(const cli::PortArgument& port) const override;
    std::string deviceOf(const cli::PortArgument& port) const override;
    // Empty: a port is named by its COM name alone ("on COM3").
    std::string shownDevice(const cli::PortArgument&) const override { return {}; }
    std::unique_ptr<driver::SerialPort> makePort(const cli::PortArgument& port) override;
    std::unique_ptr<driver::Timer> makeTimer() override;
    std::string portFailureLine(const PortFault& fault, const std::string& port) const override;
    // With what the device manager says of each.
    std::vector<cli::PortDescription> openingPorts() override;
    std::vector<cli::PortDescription> presentPorts() const override;

    void runUntil(const std::function<bool()>& done) override;
    void readLines(std::function<void(const std::optional<std::string>& line)> line) override;
    // Ctrl-C and Ctrl-Break count one each. The console closing (or the user logging off, the
    // system shutting down) ends the program once the handler returns: it counts as many as
    // stop everything at once, and the system is held back a few seconds meanwhile so that the
    // ports are closed first.
    void onInterrupt(std::function<void(int count)> interrupted) override;

    std::unique_ptr<cli::RunningCommand> runCommand(
        const std::string& command, const cli::Environment& environment,
        std::function<void(const cli::CommandResult&)> done) override;

  private:
    void typed();
    void interruptedBy(bool closing);

    // What the reader of standard input shares with the loop's thread.
    struct Typed;
    std::shared_ptr<Typed> typed_;
    std::uintptr_t typedNotice_ = 0;
    bool inputEnded_ = false;  // the end of the input was handed over
    std::function<void(const std::optional<std::string>&)> line_;
    std::uintptr_t interruptNotice_ = 0;
    std::function<void(int)> interrupted_;
    int interrupts_ = 0;
};

}  // namespace comflash::host
