// What the command line needs of the platform it runs on: its terminal, its serial ports and
// timers, its event loop, the user's typed answers and Ctrl-C. Everything else the command
// line does is written once, in this folder, for Linux and Windows alike.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/port_fault.h"
#include "cli/factory.h"
#include "cli/port_argument.h"
#include "driver/serial_port.h"
#include "settings/port_identity.h"

namespace comflash::cli {

// A serial port as the system has it now: its COM name, its device and what tells it from
// the others.
struct PortDescription {
    int number = 0;      // n of COMn
    std::string device;  // the device COMn opens (a link in the ports folder, or the device
                         // itself); empty where the COM name is all the system has (Windows)
    std::string target;  // the device it leads to now; empty where device is
    settings::PortIdentity identity;
};

class Host {
  public:
    virtual ~Host() = default;

    virtual std::ostream& out() = 0;
    virtual std::ostream& err() = 0;
    // Standard output is a terminal, whose lines may be drawn again in place; its width in
    // columns (0: unknown).
    virtual bool outIsTerminal() const = 0;
    virtual std::size_t columns() const = 0;
    // Standard input is a terminal, whose user can answer a question.
    virtual bool inIsTerminal() const = 0;
    // The folder of the program (Config.txt is looked for there).
    virtual std::string programFolder() const = 0;

    // The system opens serial devices by path (Linux does, Windows does not).
    virtual bool namesDevicesByPath() const { return true; }
    // Why the system cannot open a port named so (Windows opens no device by path); empty
    // when it can try.
    virtual std::string portRefusal(const PortArgument& port) const = 0;
    // The device a port stands for now, as the system names it; empty for none.
    virtual std::string deviceOf(const PortArgument& port) const = 0;
    // The device as a user reads it: a link with what it points at.
    virtual std::string shownDevice(const PortArgument& port) const = 0;
    // The device a link (or a name) leads to now; the name itself when it leads nowhere.
    virtual std::string resolvedDevice(const std::string& device) const { return device; }
    // A serial port over that device, closed; each call makes one of its own.
    virtual std::unique_ptr<driver::SerialPort> makePort(const PortArgument& port) = 0;
    virtual std::unique_ptr<driver::Timer> makeTimer() = 0;
    // The line that says why a port failed, in the system's words, with what would help;
    // empty when it did not fail.
    virtual std::string portFailureLine(const PortFault& fault, const std::string& port) const = 0;
    // Each port COM1 to COM99 that opens, in ascending order.
    virtual std::vector<PortDescription> openingPorts() = 0;
    // Each port COM1 to COM99 whose device is there now, whether it opens or not (busy, not
    // the user's): nothing is opened.
    virtual std::vector<PortDescription> presentPorts() const = 0;
    // The ports the last openingPorts() found there but could not open (permission denied,
    // busy), each as a line that says why.
    virtual std::vector<std::string> refusedPorts() const { return {}; }

    // Runs the event loop until `done` holds (checked after every event).
    virtual void runUntil(const std::function<bool()>& done) = 0;
    // From now on each line the user types, and then the end of the input (none), reaches
    // `line` on the event loop's thread. Once is enough; a second call replaces the first.
    virtual void readLines(std::function<void(const std::optional<std::string>& line)> line) = 0;
    // From now on Ctrl-C (and a request to end) reaches `interrupted` on the event loop's
    // thread, with how many came so far; the program no longer ends by it.
    virtual void onInterrupt(std::function<void(int count)> interrupted) = 0;

    // Runs `command` through the system's shell with `environment` added to the program's own,
    // its standard input empty; `done` gets how it ended on the event loop's thread, never
    // during this call, unless the returned handle is destroyed first (which ends the command
    // and everything it started). A command that cannot start is a result too.
    virtual std::unique_ptr<RunningCommand> runCommand(
        const std::string& command, const Environment& environment,
        std::function<void(const CommandResult&)> done) = 0;
    // The factory's database at `url` (a libpq connection string) for the station `station`,
    // whose CSV is `logPath` (its records not yet in the database are sent first); none and
    // `why` when it cannot be used at all (no database support on this system, a malformed
    // URL). A database that cannot be reached now is no reason: it is tried again.
    virtual std::unique_ptr<FactoryDatabase> openDatabase(const std::string& url,
                                                          const std::string& station,
                                                          const std::string& logPath,
                                                          std::string& why) {
        (void)url, (void)station, (void)logPath;
        why = "this comflash-cli was built without database support";
        return nullptr;
    }
    // Stores in the database at `url` each record not there yet (known by its id), in the
    // order given; returns when all are stored or it failed.
    virtual StoredRecords storeRecords(const std::string& url,
                                       const std::vector<BoardRecord>& records) {
        (void)url, (void)records;
        StoredRecords stored;
        stored.why = "this comflash-cli was built without database support";
        return stored;
    }
    // The computer's name on the network (a station's name unless --station gives one); empty
    // when unknown.
    virtual std::string hostName() const { return {}; }
};

}  // namespace comflash::cli
