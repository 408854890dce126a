// comflash-cli --json: what a run tells a script, one JSON object per line on standard output
// (docs/json.md describes every object). The texts for people then go to standard error as
// the plain lines a log gets, so that standard output holds JSON and nothing else.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/host.h"
#include "cli/request.h"
#include "cli/station_log.h"
#include "session/session.h"

namespace comflash::cli {

// The schema's version, in every object: a new field leaves it, a changed or removed one
// raises it.
inline constexpr int kJsonSchema = 1;

// The session's own name of a step: "handshake", "erase", "write", "verify", "read", "go".
std::string stepName(session::Progress::Step step);

// The bytes of the range a session got done: all of them once it wrote (or read) them to the
// end, else those before the address it ended at, and none when the device never answered.
std::int64_t bytesDone(const session::Request& request, const session::Result& result,
                       session::Progress::Step lastStep);

// How a session ended, as its result object reports it.
struct RunEnd {
    std::string command;  // "write" or "read"
    std::string port;     // as the user named it
    std::string file;     // the firmware file written, or the file a read is saved to
    std::optional<session::Result> result;  // none: the input was refused, nothing was sent
    std::string message;  // the session's own words for its end (or why the input was refused)
    std::int64_t bytes = 0;
    double seconds = 0;
    int exit = 0;  // the exit status this end gives
};

// A port of the ports listing.
struct ListedPort {
    std::string name;    // COMn
    std::string path;    // the device the name stands for, as configured (a link on Linux)
    std::string device;  // the device that leads to now
    bool opens = true;
    std::string why;                  // when it does not open: why, in the system's words
    settings::PortIdentity identity;  // the USB adapter behind it, where the system knows it
};

// Writes the objects, each a line of its own, flushed at once.
class JsonLines {
  public:
    explicit JsonLines(std::ostream& out) : out_(out) {}

    void step(const std::string& port, session::Progress::Step step);
    // Figures equal to the port's last (an erase's answer moves nothing) are left out.
    void progress(const std::string& port, const session::Progress& progress);
    void result(const RunEnd& end);
    void board(const BoardRecord& record);
    // A station's event on a port (none: the station's own).
    void event(const std::optional<std::string>& port, const std::string& text);
    void port(const ListedPort& port);

  private:
    void write(const std::string& line);

    std::ostream& out_;
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> last_;  // done, total
};

// Where a run's texts go: without --json, as they always went; with it, the lines meant for
// standard output to standard error (never drawn in place), and the JSON lines to standard
// output. Keeps what was said on standard error, for the result of refused input.
class RunOutput {
  public:
    RunOutput(Host& host, bool json);
    ~RunOutput();
    RunOutput(const RunOutput&) = delete;
    RunOutput& operator=(const RunOutput&) = delete;

    std::ostream& text() { return text_; }
    std::ostream& err();
    bool textIsTerminal() const { return textIsTerminal_; }
    // None without --json.
    JsonLines* json() { return json_ ? &*json_ : nullptr; }
    // Everything written to err() so far, without its last line end.
    std::string said() const;

  private:
    class Tap;
    std::ostream& text_;
    bool textIsTerminal_;
    std::optional<JsonLines> json_;
    std::unique_ptr<Tap> tap_;
};

// The ports listing's objects: each port of `lines` (openingPorts) that opens, then each the
// host found there but could not open.
void listPortsAsJson(Host& host, const std::vector<PortDescription>& ports, JsonLines& json);

// A station's event line ("COM1: the port is missing; ..."): the records taken since the last
// call first (`shown` counts those written), then the event, its port split off when the line
// starts with one of `ports`.
void stationEventAsJson(const std::vector<BoardRecord>& records, std::size_t& shown,
                        const std::vector<std::string>& ports, const std::string& line,
                        JsonLines& json);

// The result object of a request refused before anything was sent: what was said on standard
// error is its message.
void refusedAsJson(const Request& request, RunOutput& output);

}  // namespace comflash::cli
