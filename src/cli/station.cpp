#include "cli/station.h"

#include <algorithm>
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

enum Next { kNothing, kSession, kProbe };

bool boardOutcome(session::Outcome outcome) {
    using session::Outcome;
    switch (outcome) {
        case Outcome::Succeeded:
        case Outcome::OtherModel:
        case Outcome::Failed:
        case Outcome::VerifyFailed:
        case Outcome::HandshakeRefused:
            return true;
        default:
            return false;
    }
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
          timer(supply.timer()) {}

    // The board's session.
    std::unique_ptr<driver::SerialPort> sessionPort;
    std::unique_ptr<driver::Timer> sessionTimer;
    driver::Driver driver;
    // The removal watch's own port over the same device, and the port's timer.
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
    // The removal watch.
    bool probing = false;
    int misses = 0;
    int probeRate = 19200;
    std::size_t received = 0;
};

Station::Station(const session::Request& request, const ImageBytes& image, PortSupply supply,
                 std::vector<std::string> ports, std::vector<std::string> devices, int retries,
                 BoardRecord blank, Clock clock, WallClock wallClock, Recorder record)
    : request_(request),
      image_(image),
      blank_(std::move(blank)),
      clock_(std::move(clock)),
      wallClock_(std::move(wallClock)),
      recorder_(std::move(record)) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto made = std::make_unique<Port>(supply, i);
        Port& port = *made;
        port.status.port = std::move(ports[i]);
        if (i < devices.size()) port.device = devices[i];
        // Nobody is asked while no board has answered: the station waits for one.
        // Once a board has answered, a whole cycle of time-outs is as long a silence as the
        // removal watch takes for a board gone: the board in the fixture may be another by
        // now, and the old session's frames must not go on into it. So a board's prompt is
        // answered Retry only as often as --retries says, whatever progress came before.
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
            if (port.probing) removed(port);
        };
        port.probePort->onReceived = [&port] { port.received += port.probePort->take().size(); };
        ports_.push_back(std::move(made));
    }
}

Station::~Station() {
    onEnded = nullptr;
    onEvent = nullptr;
    for (auto& port : ports_) {
        port->driver.onEnded = nullptr;
        port->timer->onExpired = nullptr;
        port->probePort->onReceived = nullptr;
        port->probePort->onFailed = nullptr;
    }
}

void Station::start() {
    for (auto& port : ports_) startSession(*port);
    if (ports_.empty() && onEnded) onEnded();
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

void Station::startSession(Port& port) {
    port.boardAnswered = false;
    port.lost = false;
    port.retriesUsed = 0;
    port.sessionRunning = true;
    port.driver.start(request_, image_);
    // A missing port stays missing, and said once, until it opens again.
    if (!port.sessionRunning || !port.sessionPort->isOpen()) return;
    if (port.status.state == StationPort::State::Missing) {
        event(port, "the port is back; waiting for a board");
    }
    port.status.state = StationPort::State::Waiting;
}

void Station::sessionEnded(Port& port, const session::Result& result) {
    if (!port.sessionRunning) return;
    port.sessionRunning = false;
    const bool board = port.boardAnswered || boardOutcome(result.outcome);
    if (board) record(port, result);
    if (stopping_) return portStopped(port);
    if (port.lost) {
        // Whatever answers next is a board of its own, with a session of its own.
        port.status.state = StationPort::State::Waiting;
        return after(port, kSettle, kSession);
    }
    if (board) {
        port.status.state = StationPort::State::Removal;
        port.misses = 0;
        port.probeRate = 19200;
        return after(port, kSettle, kProbe);
    }
    using session::Outcome;
    if (result.outcome == Outcome::PortUnavailable || result.outcome == Outcome::PortFailed) {
        if (port.status.state != StationPort::State::Missing) {
            // A port that is there but refuses (permission denied, busy) is not missing.
            const bool refused = result.fault.kind == PortFault::Kind::Denied;
            const std::string why = refused && describeFault
                                        ? describeFault(result.fault, port.status.port)
                                        : std::string();
            event(port, (why.empty() ? std::string("the port is missing")
                                     : "the port cannot be opened: " + why) +
                            "; trying it again every " + std::to_string(kReopenInterval) + " ms");
        }
        port.status.state = StationPort::State::Missing;
    }
    after(port, kReopenInterval, kSession);
}

void Station::record(Port& port, const session::Result& result) {
    const long size = request_.end - request_.start + 1;
    const auto now = clock_();
    const auto started = port.boardAnswered ? port.boardStarted : now;
    BoardRecord r = blank_;
    r.time = utcTime(wallClock_());
    r.port = port.status.port;
    // The link names the port; the record names the device it led to for this board.
    r.device = resolveDevice ? resolveDevice(port.device) : port.device;
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
    ++port.boards;
    (result.succeeded() ? port.status.passed : port.status.failed) += 1;
    port.status.last = r.result;
    records_.push_back(r);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    event(port, "board " + std::to_string(port.boards) + ": " + r.result + " (" + seconds + " s)" +
                    (stopping_ ? "" : "; remove the board"));
    if (!failure_.empty()) return event(port, "not in the log: " + csvLine(r));
    if (std::string why = recorder_(r); !why.empty()) {
        failure_ = why;
        event(port, "not in the log: " + csvLine(r));
        if (onEvent) onEvent("The log cannot be written (" + why + "); no new board starts.");
        stop();
    }
}

void Station::after(Port& port, int milliseconds, int next) {
    port.next = next;
    port.timer->start(milliseconds);
}

void Station::tick(Port& port) {
    const int next = port.next;
    port.next = kNothing;
    if (stopping_ || next == kNothing) return;
    if (next == kSession) return startSession(port);
    if (port.probing) {
        // More than the echo of the handshake: something answered it.
        port.misses = port.received > session::kHandshakeLength ? 0 : port.misses + 1;
        if (port.misses >= kMissedProbes) return removed(port);
    }
    probe(port);
}

void Station::probe(Port& port) {
    driver::SerialPort& probe = *port.probePort;
    if (!probe.isOpen()) {
        probe.notifyAt(1);
        if (!probe.open()) return removed(port);
    }
    port.probing = true;
    if (!probe.setRate(port.probeRate)) return removed(port);
    port.probeRate = port.probeRate == 19200 ? 9600 : 19200;
    probe.take();
    port.received = 0;
    session::Frame frame{};
    frame[0] = session::kMarker;
    session::putHandshake(frame, request_.model, request_.major, request_.minor);
    if (!probe.send(std::span(frame.data(), session::kHandshakeLength))) return removed(port);
    after(port, kProbeInterval, kProbe);
}

void Station::removed(Port& port) {
    port.probing = false;
    port.timer->stop();
    port.probePort->close();
    if (stopping_) return portStopped(port);
    event(port, "the board is out; waiting for the next");
    port.status.state = StationPort::State::Waiting;
    after(port, kSettle, kSession);
}

void Station::stop() {
    stopping_ = true;
    for (auto& own : ports_) {
        Port& port = *own;
        if (port.status.state == StationPort::State::Stopped) continue;
        if (!port.sessionRunning) {
            portStopped(port);
        } else if (!port.boardAnswered) {
            stopSession(port);  // waiting for a board: there is none to finish
        }
    }
}

void Station::stopNow() {
    stopping_ = true;
    for (auto& own : ports_) {
        Port& port = *own;
        if (port.sessionRunning) stopSession(port);
        portStopped(port);
    }
}

// The session ends where it is, and is recorded as any end is.
void Station::stopSession(Port& port) {
    port.driver.stop();
    sessionEnded(port, port.driver.result().value_or(session::Result{}));
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
            if (port->boardAnswered) status.state = StationPort::State::Flashing;
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
