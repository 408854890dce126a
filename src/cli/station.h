// The production station: every port runs its own cycle, board after board, until the
// operator stops it.
//
//   waiting   the port is opened on its own and a handshake sent every kWaitInterval,
//             alternating the rates, until something answers: a board is in
//   preparing the board's serial number is reserved and the before-board hook asked; a board
//             they refuse is recorded and not written
//   flashing  an update session, exactly as a one-off write, with the board's own image
//   done      the board's record is taken, once the after-board hook has had its say
//             (a board that stops answering for kLostAfter is lost: its session ends, recorded
//             as failed, and the next board that answers gets a session of its own)
//   removal   the board must go before the next is flashed: a handshake is sent every
//             kProbeInterval, alternating the rates; the board has gone when the port goes away
//             (fails, or cannot be opened) or when kMissedProbes handshakes in a row go
//             unanswered. A board that still answers, failed or running an application that
//             answers like a bootloader, is never flashed again.
//   missing   the port cannot be opened or went away with no board on it: it is tried again
//             every kReopenInterval.
//
// The station never reads the clock itself: the clock given (virtual in tests) times a board.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "cli/factory.h"
#include "cli/port_supply.h"
#include "cli/production_run.h"
#include "cli/station_log.h"
#include "session/session.h"

namespace comflash::cli {

// ms between two handshakes while a port waits for a board: a board put in is found within
// about this long. The removal watch is slower, since it decides that a board has gone.
inline constexpr int kWaitInterval = 40;
inline constexpr int kProbeInterval = 150;   // ms between two handshakes of the removal watch
inline constexpr int kMissedProbes = 4;      // 0.6 s without an answer: the board has gone
inline constexpr int kReopenInterval = 500;  // ms between attempts on a missing port
// Silence, once a board has answered, after which its session is ended as a board lost: longer
// than a write command's resend takes (its time-out and the quiet before it, 4.1 s), so that a
// line that loses an answer now and then keeps its board.
inline constexpr std::chrono::milliseconds kLostAfter{5000};

// How often a board whose serial number cannot be reserved asks again, in ms.
inline constexpr int kSerialRetryInterval = 2000;

// A fixed word per outcome, for the record's result code.
std::string resultCode(session::Outcome outcome);

// What the production line's own systems do for each board. Everything is optional.
struct BoardSteps {
    using SerialReply =
        std::function<void(const std::optional<std::string>& serial, const std::string& why)>;
    // Reserves the board's serial number before anything else; `done` may run at once.
    std::function<void(SerialReply done)> reserveSerial;
    // The before-board hook's first line is the board's serial number.
    bool serialFromHook = false;
    // Places the serial number into the board's copy of the image: empty, or why it cannot.
    std::function<std::string(const std::string& serial, ImageBytes& image)> placeSerial;
    std::string beforeBoard;  // commands; empty: none
    std::string afterBoard;
    int hookLimit = 30000;  // ms a hook may take
    std::function<std::unique_ptr<RunningCommand>(const std::string&, const Environment&,
                                                  std::function<void(const CommandResult&)>)>
        run;
};

// The variables a hook is given: the board's port, device, firmware, serial number, and for
// the after-board hook the rest of its record.
Environment hookEnvironment(const BoardRecord& record, bool whole);
// "exited with 3: no such board", "killed by signal 9", "gave no answer within 30 s"
std::string commandOutcome(const CommandResult& result);

struct StationPort {
    enum class State { Waiting, Preparing, Flashing, Removal, Missing, Stopped };
    std::string port;  // as the user named it
    State state = State::Waiting;
    double fraction = 0;
    session::Session::Step step = session::Session::Step::Handshake;
    int passed = 0;
    int failed = 0;
    std::string last;  // the last board's result
};

class Station {
  public:
    using Clock = std::function<std::chrono::milliseconds()>;
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    // Takes a board's record: empty when it is kept, else why it could not be.
    using Recorder = std::function<std::string(const BoardRecord&)>;

    // Every board gets `image` as `request` says; `blank` holds the fields every record
    // shares (firmware, its SHA-256, model, version). Port ports[i] runs over supply.port(i),
    // its device devices[i]. Once a board has answered, its retry prompt is answered Retry
    // `retries` times, then Cancel.
    Station(const session::Request& request, const ImageBytes& image, PortSupply supply,
            std::vector<std::string> ports, std::vector<std::string> devices, int retries,
            BoardRecord blank, Clock clock, WallClock wallClock, Recorder record);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // What the line's own systems do for each board; set before start().
    BoardSteps steps;
    void start();
    // Starts no new board; boards being flashed finish and are recorded. onEnded runs once
    // every port has stopped.
    void stop();
    // Stops every session at once and closes every port; a board cut short is recorded.
    void stopNow();
    bool ended() const;
    std::function<void()> onEnded;
    // A line for each event: a board's result, a port missing or back, the log failing.
    std::function<void(const std::string&)> onEvent;
    // Why a port that will not open does not, in the system's words (the port as named).
    std::function<std::string(const PortFault&, const std::string&)> describeFault;
    // The device a port's device (a link) leads to when its board is recorded.
    std::function<std::string(const std::string&)> resolveDevice;

    std::vector<StationPort> status() const;
    const std::vector<BoardRecord>& records() const { return records_; }
    int passed() const;
    int failed() const;
    // Why the station stopped by itself (the log could not be written), else empty.
    const std::string& failure() const { return failure_; }
    // 0 when every recorded board passed and the log took every record, else 1.
    int exitStatus() const;

  private:
    struct Port;
    void boardFound(Port& port);
    void reserveSerial(Port& port);
    void beforeBoard(Port& port);
    void refuseBoard(Port& port, const std::string& code, const std::string& why);
    void startSession(Port& port);
    void sessionEnded(Port& port, const session::Result& result);
    BoardRecord boardRecord(Port& port, const session::Result& result);
    void finish(Port& port, BoardRecord record);
    void keep(Port& port, BoardRecord record);
    void after(Port& port, int milliseconds, int next);
    void tick(Port& port);
    void probe(Port& port);
    void portMissing(Port& port);
    void removed(Port& port);
    void stopSession(Port& port);
    bool boardLost(Port& port);
    bool busy(const Port& port) const;
    void settle(Port& port);
    void portStopped(Port& port);
    void event(const Port& port, const std::string& text);

    session::Request request_;
    ImageBytes image_;
    std::mt19937_64 ids_;
    BoardRecord blank_;
    Clock clock_;
    WallClock wallClock_;
    Recorder recorder_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::vector<BoardRecord> records_;
    bool stopping_ = false;
    bool endedSent_ = false;
    std::string failure_;
};

// What the operator sees: on a terminal one line per port, redrawn in place, and the totals
// with the boards per hour since the start; elsewhere nothing (each event is a line).
class StationDisplay {
  public:
    explicit StationDisplay(bool terminal) : terminal_(terminal) {}
    std::string update(const std::vector<StationPort>& ports, std::chrono::milliseconds elapsed);
    // "12 boards: 11 passed, 1 failed; 240 boards/h"
    static std::string totals(const std::vector<StationPort>& ports,
                              std::chrono::milliseconds elapsed);
    static std::string line(const StationPort& port);

  private:
    bool terminal_;
    std::size_t drawnLines_ = 0;
};

}  // namespace comflash::cli
