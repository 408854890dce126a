#include "cli/station.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <span>

#include "driver/driver.h"
#include "session/frames.h"

namespace comflash::cli {

namespace {

// Lets the session finish its end (its port closes after the handler that learns of it)
// before the port is used again.
constexpr int kSettle = 50;

constexpr std::string_view kStoppedText = "Stopped by the operator before the board was done";
constexpr std::string_view kLostText =
    "The board stopped answering in the middle of its session (taken out, or hung); it was not "
    "written";

enum Next { kNothing, kProbe, kSerial, kFound };

// "30 s", "0.5 s"
std::string secondsText(int milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", milliseconds / 1000.0);
    return text;
}

}  // namespace

std::string resultCode(session::Outcome outcome) {
    using session::Outcome;
    switch (outcome) {
        case Outcome::Succeeded:
            return "succeeded";
        case Outcome::OtherModel:
            return "other-model";
        case Outcome::Failed:
            return "failed";
        case Outcome::VerifyFailed:
            return "verify-failed";
        case Outcome::PortUnavailable:
            return "port-unavailable";
        case Outcome::PortFailed:
            return "port-failed";
        case Outcome::Cancelled:
            return "cancelled";
        case Outcome::HandshakeRefused:
            return "handshake-refused";
        case Outcome::Closed:
            break;
    }
    return "stopped";
}

struct Station::Port {
    Port(PortSupply& supply, std::size_t i)
        : sessionPort(supply.port(i)),
          sessionTimer(supply.timer()),
          driver(*sessionPort, *sessionTimer),
          probePort(supply.port(i)),
          timer(supply.timer()),
          beforeTimer(supply.timer()),
          afterTimer(supply.timer()) {}

    // The board's session.
    std::unique_ptr<driver::SerialPort> sessionPort;
    std::unique_ptr<driver::Timer> sessionTimer;
    driver::Driver driver;
    // The port the station asks on by itself (for a board, or whether it has gone), and the
    // port's timer.
    std::unique_ptr<driver::SerialPort> probePort;
    std::unique_ptr<driver::Timer> timer;
    StationPort status;
    std::string device;
    int next = kNothing;
    bool sessionRunning = false;
    bool boardAnswered = false;  // the session's handshake was answered
    std::chrono::milliseconds lastAnswer{0};
    bool lost = false;  // the board stopped answering in the middle of its session
    int retriesUsed = 0;
    std::chrono::milliseconds boardStarted{0};
    int boards = 0;
    // The board being prepared or flashed: its record so far, and its copy of the image.
    BoardRecord board;
    ImageBytes image{};
    std::string serialWhy;   // why no serial number came, as said last
    int generation = 0;      // a reservation answered for an earlier board is dropped
    bool reserving = false;  // a serial number was asked for and has not come yet
    // The hooks running for this port, each with its time limit. The after-board hook of one
    // board may still run while the next is prepared.
    std::unique_ptr<RunningCommand> beforeHook;
    std::unique_ptr<driver::Timer> beforeTimer;
    std::unique_ptr<RunningCommand> afterHook;
    std::unique_ptr<driver::Timer> afterTimer;
    std::optional<BoardRecord> finishing;  // held for the after-board hook
    // The handshakes the station sends by itself: while waiting for a board, or watching for
    // its removal.
    bool probing = false;
    bool waiting = true;  // else the removal watch
    int misses = 0;
    int probeRate = 19200;
    std::size_t received = 0;
};

Station::Station(const session::Request& request, const ImageBytes& image, PortSupply supply,
                 std::vector<std::string> ports, std::vector<std::string> devices, int retries,
                 BoardRecord blank, Clock clock, WallClock wallClock, Recorder record)
    : request_(request),
      image_(image),
      ids_(std::random_device{}() ^
           static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count())),
      blank_(std::move(blank)),
      clock_(std::move(clock)),
      wallClock_(std::move(wallClock)),
      recorder_(std::move(record)) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto made = std::make_unique<Port>(supply, i);
        Port& port = *made;
        port.status.port = std::move(ports[i]);
        if (i < devices.size()) port.device = devices[i];
        // A session starts once a board has answered the station. If its handshake goes
        // unanswered even so (the board was taken out at once), it waits for the next board as
        // the station would. Once a board has answered the session, a whole cycle of time-outs
        // is as long a silence as the removal watch takes for a board gone: the board in the
        // fixture may be another by now, and the old session's frames must not go on into it.
        // So a board's prompt is answered Retry only as often as --retries says.
        port.driver.askRetry = [&port, retries]() -> std::optional<bool> {
            if (!port.boardAnswered) return true;
            return port.retriesUsed < retries && ++port.retriesUsed > 0;
        };
        port.driver.onEnded = [this, &port](const session::Result& result) {
            sessionEnded(port, result);
        };
        // A board is timed from its handshake's answer: the first step past the handshake.
        const auto noteBoard = [this, &port] {
            if (!port.sessionRunning || port.boardAnswered) return;
            if (port.driver.progress().step == session::Session::Step::Handshake) return;
            port.boardAnswered = true;
            port.boardStarted = clock_();
            port.lastAnswer = port.boardStarted;
        };
        port.sessionPort->onReceived =
            [this, &port, inner = std::move(port.sessionPort->onReceived), noteBoard] {
                port.lastAnswer = clock_();
                inner();
                noteBoard();
            };
        port.sessionTimer->onExpired =
            [this, &port, inner = std::move(port.sessionTimer->onExpired), noteBoard] {
                if (boardLost(port)) return;
                inner();
                noteBoard();
            };
        port.timer->onExpired = [this, &port] { tick(port); };
        port.probePort->onFailed = [this, &port] {
            if (!port.probing) return;
            port.waiting ? portMissing(port) : removed(port);
        };
        // A whole answer to the station's handshake while waiting: the board is served at
        // once, from the loop (the port is not closed inside its own handler).
        port.probePort->onReceived = [this, &port] {
            port.received += port.probePort->take().size();
            if (port.waiting && port.probing && port.next == kProbe &&
                port.received >= session::kHandshakeLength + session::kHandshakeReplyLength) {
                after(port, 1, kFound);
            }
        };
        port.beforeTimer->onExpired = [this, &port] {
            port.beforeHook.reset();
            refuseBoard(
                port, "hook-failed",
                "the before-board hook gave no answer within " + secondsText(steps.hookLimit));
        };
        port.afterTimer->onExpired = [this, &port] {
            port.afterHook.reset();
            BoardRecord late = std::move(*port.finishing);
            port.finishing.reset();
            const std::string said =
                "the after-board hook gave no answer within " + secondsText(steps.hookLimit);
            late.note = late.note.empty() ? said : late.note + "; " + said;
            keep(port, std::move(late));
        };
        ports_.push_back(std::move(made));
    }
}

Station::~Station() {
    onEnded = nullptr;
    onEvent = nullptr;
    for (auto& port : ports_) {
        port->beforeHook.reset();
        port->afterHook.reset();
        port->driver.onEnded = nullptr;
        port->timer->onExpired = nullptr;
        port->beforeTimer->onExpired = nullptr;
        port->afterTimer->onExpired = nullptr;
        port->probePort->onReceived = nullptr;
        port->probePort->onFailed = nullptr;
    }
}

void Station::start() {
    for (auto& port : ports_) probe(*port);
    if (ports_.empty() && onEnded) onEnded();
}

Environment hookEnvironment(const BoardRecord& record, bool whole) {
    Environment environment{
        {"COMFLASH_PORT", record.port},         {"COMFLASH_DEVICE", record.device},
        {"COMFLASH_FIRMWARE", record.firmware}, {"COMFLASH_SHA256", record.sha256},
        {"COMFLASH_MODEL", record.model},       {"COMFLASH_VERSION", record.version},
        {"COMFLASH_SERIAL", record.serial},     {"COMFLASH_STATION", record.station},
        {"COMFLASH_RECORD_ID", record.id},
    };
    if (!whole) return environment;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", record.seconds);
    const Environment rest{
        {"COMFLASH_TIME", record.time},
        {"COMFLASH_RESULT", record.result},
        {"COMFLASH_CODE", record.code},
        {"COMFLASH_VERIFIED", record.verified ? "yes" : "no"},
        {"COMFLASH_SECONDS", seconds},
        {"COMFLASH_BYTES", std::to_string(record.bytes)},
        {"COMFLASH_SERIAL_STATE", record.serialState},
        {"COMFLASH_NOTE", record.note},
    };
    environment.insert(environment.end(), rest.begin(), rest.end());
    return environment;
}

std::string commandOutcome(const CommandResult& result) {
    switch (result.end) {
        case CommandResult::End::Exited:
            return "exited with " + std::to_string(result.code) +
                   (result.firstLine.empty() ? "" : ": " + result.firstLine);
        case CommandResult::End::Crashed:
            return result.why.empty() ? std::string("crashed") : result.why;
        case CommandResult::End::NotStarted:
            break;
    }
    return "could not be run" + (result.why.empty() ? "" : ": " + result.why);
}

// A board that has answered and then stays silent for longer than any recovery waits may have
// been taken out, and another put in: the session's frames must not go on into it. The
// session ends there, recorded as failed.
bool Station::boardLost(Port& port) {
    if (!port.sessionRunning || !port.boardAnswered || clock_() - port.lastAnswer < kLostAfter) {
        return false;
    }
    port.lost = true;
    port.driver.stop();
    sessionEnded(port, port.driver.result().value_or(session::Result{}));
    return true;
}

// Something answered the station's handshake: a board is in. It gets a record of its own
// from now on, and its serial number before anything is written.
void Station::boardFound(Port& port) {
    port.probing = false;
    port.timer->stop();
    port.probePort->close();
    port.status.state = StationPort::State::Preparing;
    ++port.generation;
    port.board = blank_;
    char id[40];
    std::snprintf(id, sizeof id, "%016llx%016llx", static_cast<unsigned long long>(ids_()),
                  static_cast<unsigned long long>(ids_()));
    port.board.id = id;
    port.board.port = port.status.port;
    // The link names the port; the record names the device it led to for this board.
    port.board.device = resolveDevice ? resolveDevice(port.device) : port.device;
    reserveSerial(port);
}

void Station::reserveSerial(Port& port) {
    if (!steps.reserveSerial) return beforeBoard(port);
    const int generation = port.generation;
    port.reserving = true;
    steps.reserveSerial([this, &port, generation](const std::optional<std::string>& serial,
                                                  const std::string& why) {
        if (generation != port.generation || port.status.state != StationPort::State::Preparing) {
            return;
        }
        port.reserving = false;
        // Asked for before the operator stopped the station: a number that came is void, and
        // its record says so; without one there is nothing to record.
        if (stopping_) {
            if (!serial) {
                port.status.state = StationPort::State::Waiting;
                return settle(port);
            }
            port.board.serial = *serial;
            return refuseBoard(port, "stopped", "stopped by the operator before it was written");
        }
        if (!serial) {
            // The board waits in its fixture for a number; nothing is written without one.
            if (why != port.serialWhy) {
                event(port, "no serial number for the board: " + why + "; asking again every " +
                                std::to_string(kSerialRetryInterval / 1000) + " s");
            }
            port.serialWhy = why;
            return after(port, kSerialRetryInterval, kSerial);
        }
        port.serialWhy.clear();
        port.board.serial = *serial;
        beforeBoard(port);
    });
}

void Station::beforeBoard(Port& port) {
    const auto placeAndStart = [this, &port] {
        port.image = image_;
        if (!port.board.serial.empty() && steps.placeSerial) {
            if (std::string why = steps.placeSerial(port.board.serial, port.image); !why.empty()) {
                return refuseBoard(port, "bad-serial", why);
            }
        }
        startSession(port);
    };
    if (steps.beforeBoard.empty() || !steps.run) {
        if (steps.serialFromHook) return refuseBoard(port, "hook-failed", "no before-board hook");
        return placeAndStart();
    }
    port.beforeHook = steps.run(
        steps.beforeBoard, hookEnvironment(port.board, false),
        [this, &port, placeAndStart](const CommandResult& result) {
            port.beforeTimer->stop();
            port.beforeHook.reset();
            if (result.end != CommandResult::End::Exited) {
                return refuseBoard(port, "hook-failed",
                                   "the before-board hook " + commandOutcome(result));
            }
            if (result.code != 0) {
                return refuseBoard(port, "refused",
                                   "the before-board hook " + commandOutcome(result));
            }
            if (steps.serialFromHook) {
                std::string serial = result.firstLine;
                while (!serial.empty() && std::isspace(static_cast<unsigned char>(serial.back())))
                    serial.pop_back();
                if (serial.empty()) {
                    return refuseBoard(port, "hook-failed",
                                       "the before-board hook printed no serial number");
                }
                port.board.serial = serial;
            }
            placeAndStart();
        });
    if (!port.beforeHook) {
        return refuseBoard(port, "hook-failed", "the before-board hook could not be run");
    }
    port.beforeTimer->start(steps.hookLimit);
}

// A board that is not written: its record says why, its serial number is void, and it must be
// taken out like any other.
void Station::refuseBoard(Port& port, const std::string& code, const std::string& why) {
    port.beforeTimer->stop();
    port.beforeHook.reset();
    BoardRecord record = port.board;
    record.time = utcTime(wallClock_());
    record.result = "Not written: " + why;
    record.code = code;
    record.serialState = record.serial.empty() ? "" : "void";
    record.note = why;
    port.status.state = StationPort::State::Removal;
    finish(port, std::move(record));
    if (stopping_) return settle(port);
    port.waiting = false;
    port.misses = 0;
    port.probeRate = 19200;
    after(port, kSettle, kProbe);
}

void Station::startSession(Port& port) {
    port.boardAnswered = false;
    port.lost = false;
    port.retriesUsed = 0;
    port.sessionRunning = true;
    port.status.state = StationPort::State::Flashing;
    port.driver.start(request_, port.image);
}

void Station::sessionEnded(Port& port, const session::Result& result) {
    if (!port.sessionRunning) return;
    port.sessionRunning = false;
    finish(port, boardRecord(port, result));
    if (stopping_) return settle(port);
    using session::Outcome;
    port.misses = 0;
    port.probeRate = 19200;
    // Whatever answers after a lost board is a board of its own; a port that failed is
    // waited on, and found missing, by the station's own handshakes.
    port.waiting = port.lost || result.outcome == Outcome::PortUnavailable ||
                   result.outcome == Outcome::PortFailed;
    port.status.state = port.waiting ? StationPort::State::Waiting : StationPort::State::Removal;
    after(port, kSettle, kProbe);
}

BoardRecord Station::boardRecord(Port& port, const session::Result& result) {
    const long size = request_.end - request_.start + 1;
    const auto now = clock_();
    const auto started = port.boardAnswered ? port.boardStarted : now;
    BoardRecord r = port.board;
    r.time = utcTime(wallClock_());
    r.result = port.lost                                    ? std::string(kLostText)
               : result.outcome == session::Outcome::Closed ? std::string(kStoppedText)
                                                            : resultText(result);
    if (result.outcome == session::Outcome::OtherModel) r.result += " " + reportedModelText(result);
    r.code = port.lost ? "board-lost" : resultCode(result.outcome);
    r.verified = result.verified;
    r.seconds = static_cast<double>((now - started).count()) / 1000.0;
    using session::Outcome;
    if (result.outcome == Outcome::Succeeded || result.outcome == Outcome::VerifyFailed) {
        r.bytes = size;
    } else if (port.boardAnswered) {
        r.bytes = std::clamp<long>(result.address - request_.start, 0, size);
    }
    if (!r.serial.empty()) r.serialState = result.succeeded() ? "used" : "void";
    return r;
}

// The after-board hook has its say before the record is kept; it never changes the result.
void Station::finish(Port& port, BoardRecord record) {
    if (steps.afterBoard.empty() || !steps.run) return keep(port, std::move(record));
    port.finishing = record;
    port.afterHook = steps.run(
        steps.afterBoard, hookEnvironment(record, true), [this, &port](const CommandResult& r) {
            port.afterTimer->stop();
            port.afterHook.reset();
            if (!port.finishing) return;
            BoardRecord done = std::move(*port.finishing);
            port.finishing.reset();
            if (r.end != CommandResult::End::Exited || r.code != 0) {
                const std::string said = "the after-board hook " + commandOutcome(r);
                done.note = done.note.empty() ? said : done.note + "; " + said;
            }
            keep(port, std::move(done));
        });
    if (!port.afterHook) {
        port.finishing.reset();
        record.note = record.note.empty() ? "the after-board hook could not be run"
                                          : record.note + "; the after-board hook could not be run";
        return keep(port, std::move(record));
    }
    port.afterTimer->start(steps.hookLimit);
}

void Station::keep(Port& port, BoardRecord r) {
    ++port.boards;
    (r.code == "succeeded" ? port.status.passed : port.status.failed) += 1;
    port.status.last = r.result;
    records_.push_back(r);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    event(port, "board " + std::to_string(port.boards) + ": " + r.result + " (" + seconds + " s)" +
                    (r.serial.empty() ? "" : ", serial " + r.serial + " " + r.serialState) +
                    (r.note.empty() || r.code != "succeeded" ? "" : "; " + r.note) +
                    (stopping_ ? "" : "; remove the board"));
    if (!failure_.empty()) {
        event(port, "not in the log: " + csvLine(r));
    } else if (std::string why = recorder_(r); !why.empty()) {
        failure_ = why;
        event(port, "not in the log: " + csvLine(r));
        if (onEvent) onEvent("The log cannot be written (" + why + "); no new board starts.");
        stop();
    }
    settle(port);
}

void Station::after(Port& port, int milliseconds, int next) {
    port.next = next;
    port.timer->start(milliseconds);
}

void Station::tick(Port& port) {
    const int next = port.next;
    port.next = kNothing;
    if (stopping_ || next == kNothing) return;
    if (next == kSerial) return reserveSerial(port);
    if (next == kFound) return boardFound(port);
    if (port.probing) {
        // More than the echo of the handshake: something answered it.
        const bool answered = port.received > session::kHandshakeLength;
        if (port.waiting && answered) return boardFound(port);
        if (!port.waiting) {
            port.misses = answered ? 0 : port.misses + 1;
            if (port.misses >= kMissedProbes) return removed(port);
        }
    }
    probe(port);
}

void Station::probe(Port& port) {
    driver::SerialPort& probe = *port.probePort;
    const auto failed = [this, &port] { port.waiting ? portMissing(port) : removed(port); };
    if (!probe.isOpen()) {
        probe.notifyAt(1);
        if (!probe.open()) return failed();
        if (port.status.state == StationPort::State::Missing) {
            event(port, "the port is back; waiting for a board");
            port.status.state = StationPort::State::Waiting;
        }
    }
    port.probing = true;
    if (!probe.setRate(port.probeRate)) return failed();
    port.probeRate = port.probeRate == 19200 ? 9600 : 19200;
    probe.take();
    port.received = 0;
    session::Frame frame{};
    frame[0] = session::kMarker;
    session::putHandshake(frame, request_.model, request_.major, request_.minor);
    if (!probe.send(std::span(frame.data(), session::kHandshakeLength))) return failed();
    after(port, port.waiting ? kWaitInterval : kProbeInterval, kProbe);
}

// No board can be found on a port that is not there: it is opened again every
// kReopenInterval, and said once until it is back.
void Station::portMissing(Port& port) {
    port.probing = false;
    port.probePort->close();
    if (stopping_) return settle(port);
    if (port.status.state != StationPort::State::Missing) {
        // A port that is there but refuses (permission denied, busy) is not missing.
        const PortFault fault = port.probePort->fault();
        const bool refused = fault.kind == PortFault::Kind::Denied;
        const std::string why =
            refused && describeFault ? describeFault(fault, port.status.port) : std::string();
        event(port, (why.empty() ? std::string("the port is missing")
                                 : "the port cannot be opened: " + why) +
                        "; trying it again every " + std::to_string(kReopenInterval) + " ms");
    }
    port.status.state = StationPort::State::Missing;
    after(port, kReopenInterval, kProbe);
}

// The board has gone: the same handshakes now wait for the next one.
void Station::removed(Port& port) {
    if (stopping_) {
        port.probing = false;
        port.probePort->close();
        return settle(port);
    }
    event(port, "the board is out; waiting for the next");
    port.status.state = StationPort::State::Waiting;
    port.waiting = true;
    if (!port.probePort->isOpen()) port.probing = false;
    probe(port);
}

void Station::stop() {
    stopping_ = true;
    for (auto& own : ports_) {
        Port& port = *own;
        if (port.status.state == StationPort::State::Stopped) continue;
        if (port.sessionRunning) {
            // A board being written finishes; a session still waiting for its board's first
            // answer has nothing to finish.
            if (!port.boardAnswered) stopSession(port);
            continue;
        }
        if (port.status.state == StationPort::State::Preparing) {
            if (port.reserving) continue;  // its number is on its way, and is then void
            if (port.board.serial.empty() && !port.beforeHook) {
                port.board = BoardRecord{};  // nothing reserved, nothing to record
                port.status.state = StationPort::State::Waiting;
            } else {
                refuseBoard(port, "stopped", "stopped by the operator before it was written");
                continue;
            }
        }
        settle(port);
    }
}

void Station::stopNow() {
    stopping_ = true;
    for (auto& own : ports_) {
        Port& port = *own;
        if (port.sessionRunning) stopSession(port);
        if (port.status.state == StationPort::State::Preparing) {
            if (port.board.serial.empty() && !port.beforeHook) {
                // A number still on its way cannot be waited for: it stays reserved, unused.
                ++port.generation;
                port.reserving = false;
                port.status.state = StationPort::State::Waiting;
            } else {
                refuseBoard(port, "stopped", "stopped by the operator before it was written");
            }
        }
        if (port.finishing) {
            port.afterTimer->stop();
            port.afterHook.reset();
            BoardRecord record = std::move(*port.finishing);
            port.finishing.reset();
            const std::string said = "the after-board hook was cut short";
            record.note = record.note.empty() ? said : record.note + "; " + said;
            keep(port, std::move(record));
        }
        settle(port);
    }
}

// The session ends where it is, and is recorded as any end is.
void Station::stopSession(Port& port) {
    port.driver.stop();
    sessionEnded(port, port.driver.result().value_or(session::Result{}));
}

bool Station::busy(const Port& port) const {
    return port.sessionRunning || port.finishing.has_value() || port.beforeHook != nullptr ||
           port.status.state == StationPort::State::Preparing;
}

// Once the station is stopping, a port stops as soon as nothing of its board is left to do.
void Station::settle(Port& port) {
    if (!stopping_ || busy(port) || port.status.state == StationPort::State::Stopped) return;
    portStopped(port);
}

void Station::portStopped(Port& port) {
    port.timer->stop();
    port.next = kNothing;
    port.probing = false;
    port.probePort->close();
    port.status.state = StationPort::State::Stopped;
    if (ended() && !endedSent_) {
        endedSent_ = true;
        if (onEnded) onEnded();
    }
}

bool Station::ended() const {
    return std::all_of(ports_.begin(), ports_.end(), [](const auto& port) {
        return port->status.state == StationPort::State::Stopped;
    });
}

std::vector<StationPort> Station::status() const {
    std::vector<StationPort> all;
    for (const auto& port : ports_) {
        StationPort status = port->status;
        if (port->sessionRunning) {
            status.fraction = session::shownFraction(port->driver.progress());
            status.step = port->driver.progress().step;
            status.state =
                port->boardAnswered ? StationPort::State::Flashing : StationPort::State::Preparing;
        }
        all.push_back(std::move(status));
    }
    return all;
}

int Station::passed() const {
    return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                          [](const auto& r) { return r.code == "succeeded"; }));
}

int Station::failed() const {
    return static_cast<int>(records_.size()) - passed();
}

int Station::exitStatus() const {
    return failure_.empty() && failed() == 0 ? 0 : 1;
}

void Station::event(const Port& port, const std::string& text) {
    if (onEvent) onEvent(port.status.port + ": " + text);
}

std::string StationDisplay::line(const StationPort& port) {
    std::string state;
    switch (port.state) {
        case StationPort::State::Waiting:
            state = "waiting";
            break;
        case StationPort::State::Flashing: {
            if (port.step == session::Session::Step::Verify) {
                state = "verifying";
                break;
            }
            char text[32];
            std::snprintf(text, sizeof text, "flashing %d%%",
                          static_cast<int>(port.fraction * 100 + 0.5));
            state = text;
            break;
        }
        case StationPort::State::Preparing:
            state = "preparing";
            break;
        case StationPort::State::Removal:
            state = "remove board";
            break;
        case StationPort::State::Missing:
            state = "port missing";
            break;
        case StationPort::State::Stopped:
            state = "stopped";
            break;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%-12s %-13s passed %3d  failed %3d", port.port.c_str(),
                  state.c_str(), port.passed, port.failed);
    return text + (port.last.empty() ? std::string() : "  last: " + port.last);
}

std::string StationDisplay::totals(const std::vector<StationPort>& ports,
                                   std::chrono::milliseconds elapsed) {
    int passed = 0;
    int failed = 0;
    for (const StationPort& port : ports) {
        passed += port.passed;
        failed += port.failed;
    }
    const double hours = static_cast<double>(elapsed.count()) / 3'600'000.0;
    char text[160];
    std::snprintf(text, sizeof text, "%d board%s: %d passed, %d failed; %.0f boards/h",
                  passed + failed, passed + failed == 1 ? "" : "s", passed, failed,
                  hours > 0 ? (passed + failed) / hours : 0.0);
    return text;
}

std::string StationDisplay::update(const std::vector<StationPort>& ports,
                                   std::chrono::milliseconds elapsed) {
    if (!terminal_) return {};
    std::string text;
    if (drawnLines_ > 0) text.append("\x1b[").append(std::to_string(drawnLines_)).append("A");
    const auto draw = [&text](const std::string& shown) {
        text.append("\r").append(shown).append("\x1b[K\n");
    };
    for (const StationPort& port : ports) draw(line(port));
    draw(totals(ports, elapsed));
    drawnLines_ = ports.size() + 1;
    return text;
}

}  // namespace comflash::cli
