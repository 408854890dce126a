// One bootloader session as a pure state machine: a request in; bytes received, the timer's
// expiry, port failures and the answer to the retry prompt in; actions and, at the end, a typed
// result out. It does no I/O, reads no clock and shows nothing: a front end (the session
// window, the command line's runs, a test) carries out the actions in order and feeds back
// what happens. An action that fails (the port will not open, a write fails) is reported back
// as an input, and the actions after it are dropped.
//
// The steps of an update, each acknowledged by the device:
//   handshake -> erase of the unit of the first address -> { write command -> data block,
//   with an erase before the first write into every further unit } -> go to the first address.
// With verify, the written range is then read back through the read window and the go frame
// goes only when every byte matches. A read session instead reads the range into the caller's
// image in 128-byte blocks after the handshake, and ends with a go to 0x9000; a block whose XOR
// does not match is asked for again and not stored.
//
// Phases and what moves them (every input not named is ignored in that phase):
//   Idle      start: the handshake goes out at 19200 baud -> Waiting
//             (the port does not open -> Ended, PortUnavailable)
//   Waiting   a frame is in flight and the timer is its reply time-out.
//             received: an answer whose echo is the bytes sent and whose length is right is
//               judged (below); anything else is no valid answer and is waited out.
//               While more than one answer is owed -> Settling.
//             timer: a time-out; the frame goes again (a write command after Draining), and
//               every sixth time-out of the session (the count is shared with refusals and
//               failed blocks) asks the user first (AskRetry; the session goes on while the
//               prompt is open).
//   Settling  an answer came while others were owed: every byte restarts a short quiet; when
//             it ends, when every answer owed came, the last is the newest transmission's ->
//             judged as above; fewer answers than owed -> Draining (a handshake's answer
//             and an accepted go excepted).
//   Draining  which transmission an answer belongs to is in doubt (see drain): every byte
//             restarts a quiet longer than any answer is late; when it ends, the frame goes
//             again -> Waiting.
//   Pausing   the device moved to 19200 baud; the timer ends the pause -> the first step.
//   Ended     the result is set and reported (Ended), the timer stopped and the port closed;
//             nothing more happens. How long whoever shows the result lingers before it goes
//             is theirs to say, not the session's.
//   A port failure in any phase before Ended ends the session (PortFailed); answers already
//   received while Settling are acted on first.
// Judging an answer:
//   command reply (handshake, write command, go; also a resent erase or write command):
//     ACK: the next step.  NAK: the same frame again.  Anything else: a time-out in 3 s.
//   block reply (erase, data block, read block): ACK (a read block: a matching XOR): the next
//     step. Anything else: the frame in the command buffer again (for a data block, its write
//     command), answered as a command reply. A tenth refusal or failure ends the session.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/app_state.h"
#include "app/port_fault.h"
#include "session/frames.h"

namespace comflash::session {

enum class Mode { Update, Read };

struct Request {
    Mode mode = Mode::Update;
    std::array<std::uint8_t, 3> model{};
    // The version an update announces in its handshake (a read announces FF FF).
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    // The inclusive range written or read.
    std::int32_t start = 0;
    std::int32_t end = 0;
    // An update reads the written range back before its go frame and starts the application
    // only when every byte matches. The range must lie in the read window (see kReadWindowBase).
    bool verify = false;
};

// A read request for X answers the device's memory at kReadWindowBase + X, for X up to
// 0x7FFF: only that upper half can be read back, and so verified.
inline constexpr std::int32_t kReadWindowBase = 0x8000;

// The first difference a verify pass found, and how many bytes differ in all.
struct Mismatch {
    int address = 0;
    int count = 0;
    std::uint8_t expected = 0;
    std::uint8_t actual = 0;
};

enum class Outcome {
    Succeeded,         // the device accepted the go frame
    OtherModel,        // the device reported another model
    Failed,            // a frame failed once more after ten resends
    VerifyFailed,      // the device's memory differs from what was written; no go was sent
    PortUnavailable,   // the port could not be opened; nothing was sent
    PortFailed,        // the port failed during the session
    Cancelled,         // the user answered Cancel at the retry prompt
    HandshakeRefused,  // the device will not take this firmware
    Closed,            // the session was stopped from outside (a window closed) before its end
};

// Where a session is, in counts: the bytes of the range done, of all its bytes, and the step.
// For a write, done runs from the first address to the next one to be written; for the read
// back of a verify, over the bytes read back. Whoever shows it makes the text.
struct Progress {
    enum class Step { Handshake, Erase, Write, Verify, Read, Go };
    Step step = Step::Handshake;
    std::int64_t done = 0;
    std::int64_t total = 0;
};

// The fraction the progress bar and the "Complete:" text show: for a write or a read, the
// next address's distance from the first over the range's span (its last address less its
// first), so that the last block reaches 1; a range of one address is done once it is
// written. For a verify pass, the bytes read back of all.
double shownFraction(const Progress& progress);

struct Result {
    Outcome outcome = Outcome::Closed;
    // The next address when the session ended: for Failed, the address it names.
    int address = 0;
    // PortUnavailable and PortFailed: what the port's control knows of why.
    PortFault fault;
    // Succeeded: the written range was read back and matched.
    bool verified = false;
    // VerifyFailed: where and how.
    Mismatch mismatch;
    // OtherModel: the model the device reported.
    std::array<std::uint8_t, 3> reportedModel{};
    bool succeeded() const { return outcome == Outcome::Succeeded; }
};

// What the front end does, in order.
struct Transmit {  // drop whatever is buffered (when the port is open), then send the bytes
    Bytes bytes;
};
struct SetRate {  // the line's rate, 8 data bits, no parity, 1 stop bit
    int baud = 0;
};
struct OpenPort {};   // unless it is open already
struct ClosePort {};  // when it is open
struct AwaitBytes {   // the answer is whole once this many bytes are buffered: say so then
    int count = 0;
};
struct ArmTimer {  // one tick after this many milliseconds
    int milliseconds = 0;
};
struct StopTimer {};
struct ShowProgress {
    Progress progress;
};
struct AskRetry {};  // the retry prompt; answer with retryAnswered
struct Ended {       // the session is over: say how (the port is still open; it closes next)
    Result result;
};
using Action = std::variant<Transmit, SetRate, OpenPort, ClosePort, AwaitBytes, ArmTimer, StopTimer,
                            ShowProgress, AskRetry, Ended>;
using Actions = std::vector<Action>;

class Session {
  public:
    enum class Phase { Idle, Waiting, Settling, Draining, Pausing, Ended };
    // What the frame in flight (or the last one sent) asks of the device.
    using Step = Progress::Step;

    // image: an update's bytes, or where a read stores what it reads. It must outlive the
    // session.
    Session(const Request& request, ImageBytes& image);

    Actions start();
    // The OpenPort action failed.
    Actions openFailed(PortFault fault);
    // The receive event: every byte buffered since the last call.
    Actions received(const Bytes& bytes);
    Actions timerExpired();
    // The port failed while open (or a Transmit or SetRate on the open port failed).
    Actions portFailed(PortFault fault);
    Actions retryAnswered(bool retry);
    // Stopped from outside (a window's close box, an operator): the session ends where it is,
    // without a word; the front end closes the port and stops the timer itself.
    void closed();

    Phase phase() const { return phase_; }
    Step step() const;
    Progress progress() const;
    // Set once the session has ended.
    const std::optional<Result>& result() const { return result_; }

  private:
    enum class ReplyKind { None, Command, Block };

    void sendFrame(std::uint8_t frameLength, std::uint8_t replyLength, ReplyKind replyKind);
    void resend();
    void resendInDoubt();
    void drain();
    bool writeCommandInFlight() const;
    void sendDataBlock();
    void transmit(Bytes bytes);
    void answer(const Bytes& reply);
    void commandReply(const Bytes& reply);
    void blockReply(const Bytes& reply);
    void handshakeAccepted(const Bytes& reply);
    void readBlockArrived(const Bytes& reply);
    void verifyBlock(std::span<const std::uint8_t> data, int base);
    void startVerify();
    void settled();
    void timeout();
    void firstStep();
    void nextStep();
    void sendErase(int unit);
    void sendRead();
    void sendGo(int address);
    void resendOrFail();
    void progressMade();
    // Waits out a missing or unusable answer.
    void awaitTimeout(int milliseconds);
    // Ends the session: the timer stops, the end is reported, then the port closes.
    void end(Outcome outcome, PortFault fault = {});
    void push(Action action) { actions_.push_back(std::move(action)); }
    Actions take();
    std::int64_t rangeSize() const { return request_.end - request_.start + 1; }

    Request request_;
    ImageBytes& image_;
    Phase phase_ = Phase::Idle;
    Actions actions_;

    Frame frame_{};  // the command frame being built; a resend sends it unchanged
    std::uint8_t frameLength_ = 0;
    std::uint8_t replyLength_ = 0;  // answer bytes after the echo
    ReplyKind nextReplyKind_ = ReplyKind::Command;
    ReplyKind replyKind_ = ReplyKind::None;  // of the transmission in flight
    int next_ = 0;                           // the next address to erase, write or read
    int erasedUnit_ = 0;
    int retries_ = 0;  // refusals, failed blocks and time-outs, shared
    bool highRateNext_ = true;
    bool prompting_ = false;  // the retry prompt is open
    int transmissionsAtPrompt_ = 0;
    Bytes sent_;  // the transmission in flight, which the echo must repeat
    int transmissions_ = 0;
    // Answers the device may still send: one per transmission, less those taken.
    int owed_ = 0;
    Bytes settling_;
    int settleRound_ = 0;
    std::int64_t done_ = 0;  // bytes of the range done (of the verify pass while verifying)
    bool verifying_ = false;
    Mismatch mismatch_;
    std::array<std::uint8_t, 3> reportedModel_{};
    std::optional<Result> result_;
};

}  // namespace comflash::session
