// The command line's host on Linux (and wherever Qt runs): standard streams and the terminal,
// Qt's serial ports and timers on its event loop, the ports folder that names COMn, typed
// lines and Ctrl-C (SIGINT, SIGTERM) delivered on the loop, hook commands run by /bin/sh. A
// QCoreApplication must exist.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/host.h"
#include "host/usb_identity.h"

namespace comflash::host {

class QtHost final : public cli::Host {
  public:
    QtHost();
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    std::ostream& out() override;
    std::ostream& err() override;
    bool outIsTerminal() const override;
    std::size_t columns() const override;
    bool inIsTerminal() const override;
    std::string programFolder() const override;

    std::string portRefusal(const cli::PortArgument&) const override { return {}; }
    std::string deviceOf(const cli::PortArgument& port) const override;
    std::string shownDevice(const cli::PortArgument& port) const override;
    std::string resolvedDevice(const std::string& device) const override;
    std::unique_ptr<driver::SerialPort> makePort(const cli::PortArgument& port) override;
    std::unique_ptr<driver::Timer> makeTimer() override;
    std::string portFailureLine(const PortFault& fault, const std::string& port) const override;
    std::vector<cli::PortDescription> openingPorts() override;
    std::vector<cli::PortDescription> presentPorts() const override;
    std::vector<std::string> refusedPorts() const override { return refused_; }

    void runUntil(const std::function<bool()>& done) override;
    void readLines(std::function<void(const std::optional<std::string>& line)> line) override;
    void onInterrupt(std::function<void(int count)> interrupted) override;

    std::unique_ptr<cli::RunningCommand> runCommand(
        const std::string& command, const cli::Environment& environment,
        std::function<void(const cli::CommandResult&)> done) override;
    std::string hostName() const override;
#ifdef COMFLASH_DATABASE
    std::unique_ptr<cli::FactoryDatabase> openDatabase(const std::string& url,
                                                       const std::string& station,
                                                       const std::string& logPath,
                                                       std::string& why) override;
    cli::StoredRecords storeRecords(const std::string& url,
                                    const std::vector<cli::BoardRecord>& records) override;
#endif

  private:
    void typed();
    cli::PortDescription describe(int number, const UsbIdentities& identities) const;

    std::string portsFolder_;
    std::vector<std::string> refused_;
    std::unique_ptr<QSocketNotifier> input_;
    std::string pending_;  // typed bytes after the last line handed over
    std::function<void(const std::optional<std::string>&)> line_;
    std::unique_ptr<QSocketNotifier> signals_;
    std::function<void(int)> interrupted_;
    int interrupts_ = 0;
};

}  // namespace comflash::host
