#include "session/session.h"

#include <algorithm>
#include <utility>

namespace comflash::session {

namespace {

constexpr int kHighRate = 19200;
constexpr int kLowRate = 9600;

constexpr int kReplyTimeout = 1000;       // ms for any reply
constexpr int kUnreadableTimeout = 3000;  // ms after a reply that was neither ACK nor NAK
constexpr int kSpeedUpPause = 100;        // ms for the device to settle at 19200 baud
// ms of quiet that end a run of answers while more than one was owed: longer than the longest
// reply takes at 9600 baud (129 bytes and noise, 140 ms), shorter than the half second within
// which the device wants a data block after its acknowledgement of the write command.
constexpr int kSettleQuiet = 200;
constexpr int kSettleRounds = 5;  // at most 5 x 200 ms of settling, then the answer counts
// ms of quiet after which no answer to an earlier copy is still on its way: longer than the
// 3 s an unreadable answer is waited out, and so than the half second for which a device that
// acknowledged a write command awaits its data block.
constexpr int kDrainQuiet = 3100;
constexpr int kDrainRounds = 10;   // at most 10 quiets restarted, then the resend goes
constexpr int kSilentResends = 5;  // time-outs before the user is asked
constexpr int kFailureLimit = 10;  // refusals and failed blocks in a session

constexpr std::uint8_t kReadVersion = 0xFF;  // in place of the version in a read session

}  // namespace

Session::Session(const Request& request, ImageBytes& image) : request_(request), image_(image) {}

double shownFraction(const Progress& progress) {
    if (progress.total <= 0) return 0.0;
    if (progress.step == Progress::Step::Verify) {
        return std::clamp(static_cast<double>(progress.done) / static_cast<double>(progress.total),
                          0.0, 1.0);
    }
    // done is next - first; the span is last - first.
    const std::int32_t first = 0;
    return progressFraction(
        first + static_cast<int>(std::min<std::int64_t>(progress.done, kPastLastAddress)), first,
        static_cast<std::int32_t>(progress.total - 1));
}

Progress Session::progress() const {
    return Progress{step(), done_, rangeSize()};
}

Session::Step Session::step() const {
    switch (frame_[1]) {
        case kErase:
            return Step::Erase;
        case kWrite:  // the last block's command, until the verify pass puts its first read
            return verifying_ ? Step::Verify : Step::Write;
        case kRead:
            return verifying_ ? Step::Verify : Step::Read;
        case kGo:
            return Step::Go;
        default:
            return Step::Handshake;
    }
}

Actions Session::take() {
    Actions actions = std::move(actions_);
    actions_.clear();
    return actions;
}

Actions Session::start() {
    if (phase_ != Phase::Idle) return {};
    phase_ = Phase::Waiting;
    // The failure message names the next address; before the handshake that is the first.
    next_ = request_.start;
    frame_[0] = kMarker;
    const bool update = request_.mode == Mode::Update;
    putHandshake(frame_, request_.model, update ? request_.major : kReadVersion,
                 update ? request_.minor : kReadVersion);
    frameLength_ = kHandshakeLength;
    replyLength_ = kHandshakeReplyLength;
    nextReplyKind_ = ReplyKind::Command;
    // The rate goes first: the port opens at the rate of the first handshake.
    push(SetRate{kHighRate});
    highRateNext_ = false;
    push(OpenPort{});
    push(ArmTimer{kReplyTimeout});
    replyKind_ = nextReplyKind_;
    push(AwaitBytes{replyLength_ + frameLength_});
    transmit(Bytes(frame_.begin(), frame_.begin() + frameLength_));
    return take();
}

Actions Session::openFailed(PortFault fault) {
    if (phase_ == Phase::Ended) return {};
    end(Outcome::PortUnavailable, std::move(fault));
    return take();
}

Actions Session::portFailed(PortFault fault) {
    if (phase_ == Phase::Idle || phase_ == Phase::Ended) return {};
    // Answers already received count before the failure: a device that starts its application
    // may leave the line (a USB adapter on the board resets) right after acknowledging the go
    // frame, while the host still waits for the quiet after a resend.
    if (phase_ == Phase::Settling) {
        settled();
        if (phase_ == Phase::Ended) return take();
        actions_.clear();  // whatever it would send goes nowhere now
    }
    end(Outcome::PortFailed, std::move(fault));
    return take();
}

void Session::closed() {
    if (!result_) {
        result_ = Result{};
        result_->address = next_;
    }
    phase_ = Phase::Ended;
    replyKind_ = ReplyKind::None;
}

// Sends the frame in the command buffer: a step, or the same frame again. Until the device
// answers, handshakes alternate between the two rates it may listen at, starting at the fast
// one.
void Session::resend() {
    if (frame_[1] == kHandshake) {
        push(SetRate{highRateNext_ ? kHighRate : kLowRate});
        highRateNext_ = !highRateNext_;
    }
    push(ArmTimer{kReplyTimeout});
    replyKind_ = nextReplyKind_;
    push(AwaitBytes{replyLength_ + frameLength_});
    transmit(Bytes(frame_.begin(), frame_.begin() + frameLength_));
}

void Session::sendFrame(std::uint8_t frameLength, std::uint8_t replyLength, ReplyKind replyKind) {
    frameLength_ = frameLength;
    replyLength_ = replyLength;
    nextReplyKind_ = replyKind;
    resend();
}

void Session::sendDataBlock() {
    Bytes block = dataBlock(frame_, image_);
    replyKind_ = nextReplyKind_;
    push(AwaitBytes{static_cast<int>(block.size()) + replyLength_});
    transmit(std::move(block));
    // A lost acknowledgement times out like a command frame's: the write command goes again.
    push(ArmTimer{kReplyTimeout});
}

void Session::transmit(Bytes bytes) {
    sent_ = bytes;
    ++transmissions_;
    ++owed_;
    push(Transmit{std::move(bytes)});
}

Actions Session::received(const Bytes& bytes) {
    if (phase_ == Phase::Draining) {
        // Late answers, no longer trusted: the quiet starts again.
        if (++settleRound_ < kDrainRounds) push(ArmTimer{kDrainQuiet});
        return take();
    }
    if (phase_ == Phase::Settling) {
        // Another of the answers owed; the quiet starts again.
        settling_.insert(settling_.end(), bytes.begin(), bytes.end());
        if (++settleRound_ < kSettleRounds) push(ArmTimer{kSettleQuiet});
        return take();
    }
    // What arrives during the pause, or after the end, goes nowhere.
    if (phase_ != Phase::Waiting) return {};
    push(StopTimer{});
    if (replyKind_ == ReplyKind::None) return take();
    // Bytes ahead of the echo (the late answer to an earlier frame) shift every byte of the
    // reply, and a shifted byte can pass for an acknowledgement. Such a block is no valid
    // answer: it is waited out like a missing one, so that the stray bytes have drained
    // before the resend, whose answer would otherwise be one behind again. So is a block with
    // more bytes than the echo and the answer: noise ahead of a read block shifts it too, and
    // one time in 256 the shifted bytes still match their XOR.
    if (bytes.size() != sent_.size() + replyLength_ ||
        !std::equal(sent_.begin(), sent_.end(), bytes.begin())) {
        awaitTimeout(replyKind_ == ReplyKind::Command ? kUnreadableTimeout : kReplyTimeout);
        return take();
    }
    if (owed_ > 1) {
        settling_ = bytes;
        settleRound_ = 0;
        phase_ = Phase::Settling;
        push(AwaitBytes{1});  // every byte of the other answers restarts the quiet
        push(ArmTimer{kSettleQuiet});
        return take();
    }
    owed_ = 0;
    answer(bytes);
    return take();
}

// The line has been quiet since an answer came while others were owed. The answers come one
// behind the other, in the order of the transmissions: when every answer owed came, the last
// whole one is the newest transmission's. When fewer came, the one that came may be an
// earlier copy's or an earlier frame's (a late read block for the next block, an
// acknowledgement for a data block the device does not await), and the missing ones may still
// come: none is taken (see drain). Bytes that make no whole answers leave none to trust; the
// frame goes again after the time-out.
void Session::settled() {
    phase_ = Phase::Waiting;
    Bytes train = std::move(settling_);
    settling_.clear();
    const std::size_t echo = sent_.size();
    push(AwaitBytes{static_cast<int>(echo) + replyLength_});
    const std::size_t bytes = train.size() - echo;
    if (bytes % replyLength_ != 0) {
        awaitTimeout(kReplyTimeout);
        return;
    }
    const int answers = static_cast<int>(bytes / replyLength_);
    train.erase(train.begin() + static_cast<std::ptrdiff_t>(echo), train.end() - replyLength_);
    // Some answers stand whichever copy they answer: a handshake's (copies at a rate the
    // device does not read are never answered, and its long answer passes for no other
    // frame's), a go frame's acceptance (nothing follows it: the device has started its
    // application) and an erase's (every copy erases the same unit, and nothing is written
    // into it before an answer is taken: whichever copy was accepted, the unit is erased).
    // Only copies of the frame in flight are owed here: every answer taken before clears
    // what was owed.
    const bool accepted = train[echo] == kAck;
    const bool standsAlone =
        frame_[1] == kHandshake || ((frame_[1] == kGo || frame_[1] == kErase) && accepted);
    if (answers < owed_ && !standsAlone) {
        drain();
        return;
    }
    owed_ = 0;
    answer(train);
}

void Session::awaitTimeout(int milliseconds) {
    push(ArmTimer{milliseconds});
}

void Session::answer(const Bytes& reply) {
    if (replyKind_ == ReplyKind::Command) {
        commandReply(reply);
    } else {
        blockReply(reply);
    }
}

void Session::commandReply(const Bytes& reply) {
    const std::size_t echo = sent_.size();
    const auto verdict = judgeCommandReply(reply[echo]);
    const std::uint8_t code = frame_[1];
    if (verdict == CommandVerdict::Unreadable) {
        awaitTimeout(kUnreadableTimeout);
        return;
    }
    if (verdict == CommandVerdict::Refused) {
        if (code == kHandshake && request_.mode == Mode::Update && reply[echo + 1] == kSpeedUp) {
            // The device knows this firmware and will not take it.
            end(Outcome::HandshakeRefused);
        } else {
            resendOrFail();
        }
        return;
    }
    switch (code) {
        case kHandshake:
            handshakeAccepted(reply);
            break;
        case kErase:  // a resent erase, answered as a command reply: as a first acceptance
            progressMade();
            nextStep();
            break;
        case kWrite:
            replyLength_ = kAckLength;
            nextReplyKind_ = ReplyKind::Block;
            sendDataBlock();
            break;
        case kGo:
            push(ClosePort{});
            push(AwaitBytes{0});
            end(Outcome::Succeeded);
            break;
        default:
            break;
    }
}

void Session::handshakeAccepted(const Bytes& reply) {
    next_ = request_.start;
    const auto reported = reply.begin() + static_cast<std::ptrdiff_t>(sent_.size());
    const bool speedUp = reported[1] == kSpeedUp;
    if (request_.mode == Mode::Update && speedUp &&
        !std::equal(request_.model.begin(), request_.model.end(), reported + 7)) {
        std::copy(reported + 7, reported + 10, reportedModel_.begin());
        end(Outcome::OtherModel);
        return;
    }
    if (speedUp) {
        push(SetRate{kHighRate});
        highRateNext_ = false;
        // The device needs a moment at the new rate. The pause is the timer's, not a blocking
        // one: other windows and sessions go on meanwhile, and nothing of this one does.
        phase_ = Phase::Pausing;
        replyKind_ = ReplyKind::None;
        push(ArmTimer{kSpeedUpPause});
        return;
    }
    firstStep();
}

void Session::firstStep() {
    if (request_.mode == Mode::Update) {
        sendErase(eraseUnitOf(next_));
    } else {
        next_ &= ~0xFF;  // reads start on a page
        sendRead();
    }
}

void Session::blockReply(const Bytes& reply) {
    if (frame_[1] == kRead) {
        readBlockArrived(reply);
        return;
    }
    if (reply[sent_.size()] != kAck) {
        // The frame in the command buffer goes again: after a failed data block that is its
        // write command, whose acceptance sends the block again.
        if (request_.mode == Mode::Update) nextReplyKind_ = ReplyKind::Command;
        resendOrFail();
        return;
    }
    if (frame_[1] == kWrite) next_ += frame_[5];  // the block's length
    progressMade();
    nextStep();
}

// A read block is stored only when its XOR matches; a bad one is asked for again.
void Session::readBlockArrived(const Bytes& reply) {
    const auto data = reply.begin() + static_cast<std::ptrdiff_t>(sent_.size());
    if (xorOf(std::span(data, kReadBlock)) != data[kReadBlock]) {
        resendOrFail();
        return;
    }
    const int base = frame_[3] * 256 + frame_[4];
    next_ += kReadBlock;
    if (verifying_) {
        verifyBlock(std::span(data, kReadBlock), kReadWindowBase + base);
        return;
    }
    std::copy(data, data + kReadBlock, image_.begin() + base);
    progressMade();
    if (finished(next_, request_.end)) {
        sendGo(kReadGoAddress);
    } else {
        sendRead();
    }
}

// The written range, gap fill included, is read back through the read window a block at a
// time; the read session's own XOR check, resends and failure limit guard each block.
void Session::startVerify() {
    verifying_ = true;
    next_ = (request_.start - kReadWindowBase) & ~(kReadBlock - 1);
    done_ = 0;
    push(ShowProgress{progress()});
    sendRead();
}

void Session::verifyBlock(std::span<const std::uint8_t> data, int base) {
    for (int i = 0; i < kReadBlock; ++i) {
        const int address = base + i;
        if (address < request_.start || address > request_.end) continue;
        const std::uint8_t expected = image_[static_cast<std::size_t>(address)];
        const std::uint8_t actual = data[static_cast<std::size_t>(i)];
        if (expected == actual) continue;
        if (mismatch_.count++ == 0) mismatch_ = {address, 1, expected, actual};
    }
    const int verified = std::min(kReadWindowBase + next_, request_.end + 1);
    done_ = std::clamp<std::int64_t>(verified - request_.start, 0, rangeSize());
    push(ShowProgress{progress()});
    if (!finished(kReadWindowBase + next_, request_.end)) {
        sendRead();
    } else if (mismatch_.count > 0) {
        // No go: the device stays in its bootloader and can be written again.
        end(Outcome::VerifyFailed);
    } else {
        sendGo(request_.start);
    }
}

void Session::nextStep() {
    if (finished(next_, request_.end)) {
        if (request_.verify) {
            startVerify();
        } else {
            sendGo(request_.start);
        }
    } else if (eraseUnitOf(next_) != erasedUnit_) {
        sendErase(eraseUnitOf(next_));
    } else {
        putWrite(frame_, next_, blockLength(next_, request_.end));
        sendFrame(kWriteLength, kAckLength, ReplyKind::Command);
    }
}

void Session::sendErase(int unit) {
    putErase(frame_, unit);
    erasedUnit_ = unit;
    sendFrame(kEraseLength, kAckLength, ReplyKind::Block);
}

void Session::sendRead() {
    putRead(frame_, next_);
    sendFrame(kReadLength, kReadReplyLength, ReplyKind::Block);
}

void Session::sendGo(int address) {
    putGo(frame_, address);
    sendFrame(kGoLength, kAckLength, ReplyKind::Command);
}

// A refused command or a failed block: the same frame again while the count allows; else the
// failure end.
void Session::resendOrFail() {
    if (retries_ < kFailureLimit) {
        resend();
        ++retries_;
    } else {
        end(Outcome::Failed);
    }
}

void Session::progressMade() {
    done_ = next_ >= kPastLastAddress
                ? rangeSize()
                : std::clamp<std::int64_t>(next_ - request_.start, 0, rangeSize());
    push(ShowProgress{progress()});
}

Actions Session::timerExpired() {
    push(StopTimer{});
    switch (phase_) {
        case Phase::Pausing:
            phase_ = Phase::Waiting;
            firstStep();
            break;
        case Phase::Settling:
            settled();
            break;
        case Phase::Draining:
            phase_ = Phase::Waiting;
            owed_ = 0;  // the answers of the copies before are in or gone
            // With a data block in flight the frame to send again is its write command.
            if (frame_[1] == kWrite) nextReplyKind_ = ReplyKind::Command;
            resend();
            break;
        case Phase::Waiting:
            if (!prompting_) timeout();
            break;
        case Phase::Idle:
        case Phase::Ended:
            break;
    }
    return take();
}

// No valid answer came in time: the frame goes again, and every sixth time-out asks the user
// first.
void Session::timeout() {
    ++retries_;
    // The command buffer holds the write command while its data block is in flight: the
    // resend is the write command, answered as a command reply.
    if (frame_[1] == kWrite) nextReplyKind_ = ReplyKind::Command;
    if (retries_ <= kSilentResends) {
        resendInDoubt();
        return;
    }
    retries_ = 0;
    prompting_ = true;
    transmissionsAtPrompt_ = transmissions_;
    push(AskRetry{});
}

Actions Session::retryAnswered(bool retry) {
    if (!prompting_ || phase_ == Phase::Ended) return {};
    if (!retry) {
        end(Outcome::Cancelled);
        return take();
    }
    prompting_ = false;
    // An answer that came while the prompt was open moved the session on, or is being
    // settled: it goes on from there. A frame sent meanwhile gets a time-out of its own
    // instead of a resend that would cross its reply.
    if (phase_ != Phase::Waiting) return take();
    if (transmissions_ == transmissionsAtPrompt_) {
        resendInDoubt();
    } else {
        awaitTimeout(kReplyTimeout);
    }
    return take();
}

bool Session::writeCommandInFlight() const {
    return frame_[1] == kWrite && replyKind_ == ReplyKind::Command;
}

// A write command that got no valid answer may still have been accepted, its acknowledgement
// late or lost: the device may await the data block for half a second from that
// acknowledgement, and would read a resent write command as a block cut short. An
// acknowledgement that comes just as the time-out falls shows that no moment is safe but one
// after the line has drained. Every other frame is the same request however often it goes,
// and goes again at once.
void Session::resendInDoubt() {
    if (writeCommandInFlight()) {
        drain();
    } else {
        resend();
    }
}

// Waits for the line to be quiet for longer than any answer is late, dropping whatever comes
// meanwhile (answers to earlier copies, late or not), and then sends the frame
// in flight afresh as the only one owed. So no block goes to a device that may not await one,
// no command to a device that may await a block, and no answer is taken for another's.
void Session::drain() {
    phase_ = Phase::Draining;
    settleRound_ = 0;
    push(AwaitBytes{1});  // every byte restarts the quiet
    push(ArmTimer{kDrainQuiet});
}

// The session is over before the report: nothing the line does meanwhile (a port pulled out,
// a late reply) goes on with the session or ends it a second time.
void Session::end(Outcome outcome, PortFault fault) {
    phase_ = Phase::Ended;
    replyKind_ = ReplyKind::None;
    result_ = Result{};
    result_->outcome = outcome;
    // A verify pass reads through the read window: the address it failed at is the device's.
    result_->address = verifying_ ? kReadWindowBase + next_ : next_;
    result_->fault = std::move(fault);
    result_->verified = outcome == Outcome::Succeeded && verifying_;
    result_->mismatch = mismatch_;
    result_->reportedModel = reportedModel_;
    push(StopTimer{});
    push(Ended{*result_});
    push(ClosePort{});
}

}  // namespace comflash::session
