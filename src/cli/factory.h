// What the production line's own systems give the command line: commands it runs for each
// board (hooks), and the factory's database, which keeps every station's records and hands out
// serial numbers. Both are reached through the host; their answers come back on the event
// loop's thread, so a slow command or an absent database never holds a session up.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/station_log.h"

namespace comflash::cli {

using Environment = std::vector<std::pair<std::string, std::string>>;

// How a command run for a board ended.
struct CommandResult {
    enum class End { Exited, Crashed, NotStarted };
    End end = End::NotStarted;
    int code = 0;           // the exit status when it exited
    std::string firstLine;  // its standard output's first line, without the line end
    // For Crashed and NotStarted: what happened, in a few words. For an exit with a status
    // other than 0: the last line the command wrote to its standard error, if any.
    std::string why;
};

// A command that runs. Destroying it ends the command and whatever it started, at once; its
// result is then never delivered.
class RunningCommand {
  public:
    virtual ~RunningCommand() = default;
};

// What sending a log's records to the factory's database came to.
struct StoredRecords {
    enum class End {
        Stored,   // every record given is in the database now
        Refused,  // the database cannot be used at all: no support, a malformed URL
        Failed,   // it could not be reached, or refused a record
    };
    End end = End::Refused;
    std::size_t stored = 0;  // new in the database (the rest were there already)
    std::string why;         // for Refused and Failed, in a line
};

// The factory's database as the station uses it. Records reach it in the background, in the
// order given, and are sent again while it cannot be reached; sending one twice stores it once.
class FactoryDatabase {
  public:
    virtual ~FactoryDatabase() = default;
    // The record is already in the station's CSV: it is queued for the database.
    virtual void push(const BoardRecord& record) = 0;
    // Reserves the next serial number of the factory's one sequence for this station; `done`
    // gets it, or none and why (the database cannot be reached), on the event loop's thread.
    virtual void reserveSerial(
        std::function<void(const std::optional<std::string>& serial, const std::string& why)>
            done) = 0;
    // Records queued and not yet stored.
    virtual std::size_t waiting() const = 0;
    // A line when the database goes away or comes back ("database unreachable: ...").
    std::function<void(const std::string&)> onEvent;
};

}  // namespace comflash::cli
