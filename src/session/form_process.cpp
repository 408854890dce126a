#include "session/form_process.h"

#include <algorithm>
#include <string>

namespace comflash::session {

namespace {

constexpr std::string_view kUpdateLabel = "Update";
constexpr std::string_view kReadLabel = "读取固件";
constexpr std::string_view kSettings19200 = "19200,N,8,1";
constexpr std::string_view kSettings9600 = "9600,N,8,1";

constexpr int kReplyTimeout = 1000;       // ms for any reply
constexpr int kUnreadableTimeout = 3000;  // ms after a reply that was neither ACK nor NAK
constexpr int kCloseSoon = 1;             // ms: a session that ended normally or was cancelled
constexpr int kCloseAfterFailure = 10;    // ms: a session the device ended
constexpr int kSpeedUpPause = 100;        // ms for the device to settle at 19200 baud
// ms of quiet that end a run of answers while more than one was owed: longer than the longest
// reply takes at 9600 baud (129 bytes and noise, 140 ms), shorter than the half second within
// which the device wants a data block after its acknowledgement of the write command.
constexpr int kSettleQuiet = 200;
constexpr int kSettleRounds = 5;   // at most 5 x 200 ms of settling, then the answer counts
constexpr int kSilentResends = 5;  // time-outs in a row before the user is asked
constexpr int kFailureLimit = 10;  // refusals and failed blocks in a session

constexpr std::uint8_t kReadVersion = 0xFF;  // in place of the version in a read session

constexpr std::string_view kReselectPort = "Please reselect COM port!";
constexpr std::string_view kReselectPortChinese = "请重新选择端口！";

}  // namespace

FormProcess::FormProcess(AppState& state, ui::Toolkit& toolkit, ui::Window& window)
    : state_(state),
      toolkit_(toolkit),
      window_(window),
      progressBar1_(window.progressBar("ProgressBar1")),
      labelProcess_(window.label("LabelProcess")),
      timer1_(window.timer("Timer1")),
      msComm1_(window.comm("MSComm1")) {
    window_.onLoad = [this] { Form_Load(); };
    window_.onUnload = [this] { Form_Unload(); };
    msComm1_.onComm = [this] { MSComm1_OnComm(); };
    timer1_.onTimer = [this] { Timer1_Timer(); };
}

FormProcess::Step FormProcess::step() const {
    switch (CommandFrame[1]) {
        case kErase:
            return Step::Erase;
        case kWrite:
            return Step::Write;
        case kRead:
            return Step::Read;
        case kGo:
            return Step::Go;
        default:
            return Step::Handshake;
    }
}

void FormProcess::Form_Load() {
    msComm1_.setCommPort(state_.ComPortNumber);
    msComm1_.setInputMode(ui::CommControl::kInputModeBinary);
    msComm1_.setRThreshold(0);

    RetryCount = 0;
    TimeoutBusy = false;
    Pausing = false;
    Owed = 0;
    Settling.reset();
    CloseRequested = false;
    AwaitingReply = false;
    ReplyKind = 0;
    HighBaudNext = true;
    // The failure message names the next address; before the handshake that is the first.
    AddrPage = static_cast<std::int16_t>(state_.ImageStart / 256);
    AddrLow = static_cast<std::int16_t>(state_.ImageStart % 256);
    progressBar1_.setValue(0);
    state_.SessionSucceeded = false;

    CommandFrame[0] = kMarker;
    if (state_.UpdateMode) {
        putHandshake(CommandFrame, state_.ModelId, state_.FirmwareMajor, state_.FirmwareMinor);
    } else {
        putHandshake(CommandFrame, state_.ModelId, kReadVersion, kReadVersion);
    }
    FrameLength = kHandshakeLength;
    ReplyLength = kHandshakeReplyLength;
    NextReplyKind = kCommandReply;
    if (state_.UpdateMode) {
        SendCommand(kUpdateLabel);
    } else if (state_.ReadMode) {
        SendCommand(kReadLabel);
    }
}

void FormProcess::Form_Unload() {
    state_.UpdateMode = false;
    state_.ReadMode = false;
}

void FormProcess::SendCommand(std::string_view label) {
    AwaitingReply = true;
    if (CommandFrame[1] == kHandshake) {
        // Until the device answers, handshakes alternate between the two rates it may listen
        // at, starting at the fast one.
        const std::string_view settings = HighBaudNext ? kSettings19200 : kSettings9600;
        HighBaudNext = !HighBaudNext;
        if (!msComm1_.setSettings(std::string(settings)) && msComm1_.portOpen()) {
            portFailed();
            return;
        }
    }
    EchoLength = FrameLength;
    const Bytes frame(CommandFrame.begin(), CommandFrame.begin() + FrameLength);

    if (label == kUpdateLabel || label == kReadLabel) {
        // Anything received before the first frame leaves is ignored.
        ReplyKind = 0;
        if (!msComm1_.portOpen() && !msComm1_.setPortOpen(true)) {
            message(text(kReselectPort, kReselectPortChinese));
            CloseRequested = true;
            armTimer(kCloseSoon);
            return;
        }
        window_.setCaption(std::string(label));
    }
    armTimer(kReplyTimeout);
    ReplyKind = NextReplyKind;
    msComm1_.setRThreshold(ReplyLength + EchoLength);
    transmit(frame);
}

void FormProcess::SendDataBlock() {
    const Bytes block = dataBlock(CommandFrame, state_.FirmwareImage);
    ReplyKind = NextReplyKind;
    EchoLength = static_cast<std::int16_t>(block.size());
    msComm1_.setRThreshold(EchoLength + ReplyLength);
    // A lost acknowledgement times out like a command frame's: the write command goes again.
    AwaitingReply = true;
    if (transmit(block)) armTimer(kReplyTimeout);
}

void FormProcess::MSComm1_OnComm() {
    if (CloseRequested) return;  // the session has ended; the window is about to close
    if (msComm1_.commEvent() == ui::CommControl::kEventPortFailed) {
        portFailed();
        return;
    }
    // What arrives during the pause stays buffered, and goes with the next transmission.
    if (Pausing || msComm1_.commEvent() != ui::CommControl::kEventReceive) return;

    const Bytes received = msComm1_.input();
    if (Settling) {
        // Another of the answers owed; the quiet starts again.
        Settling->insert(Settling->end(), received.begin(), received.end());
        if (++SettleRound < kSettleRounds) armTimer(kSettleQuiet);
        return;
    }
    AwaitingReply = false;
    timer1_.setEnabled(false);
    if (ReplyKind != kCommandReply && ReplyKind != kBlockReply) return;
    // Bytes ahead of the echo (the late answer to an earlier frame) shift every byte of the
    // reply, and a shifted byte can pass for an acknowledgement. Such a block is no valid
    // answer: it is waited out like a missing one, so that the stray bytes have drained
    // before the resend, whose answer would otherwise be one behind again. So is a block with
    // more bytes than the echo and the answer: noise ahead of a read block shifts it too, and
    // one time in 256 the shifted bytes still match their XOR.
    const auto echoLength = static_cast<std::size_t>(EchoLength);
    if (received.size() != echoLength + ReplyLength || Sent.size() != echoLength ||
        !std::equal(Sent.begin(), Sent.end(), received.begin())) {
        AwaitingReply = true;
        armTimer(ReplyKind == kCommandReply ? kUnreadableTimeout : kReplyTimeout);
        return;
    }
    if (Owed > 1) {
        Settling = received;
        SettleRound = 0;
        msComm1_.setRThreshold(1);  // every byte of the other answers restarts the quiet
        armTimer(kSettleQuiet);
        return;
    }
    Owed = 0;
    answer(received);
}

// The line has been quiet since an answer came while others were owed. The answers come one
// behind the other, in the order of the transmissions: the last whole answer is the newest
// one's. Bytes that make no whole answers leave none to trust; the frame goes again after the
// time-out. When a single answer came, the others owed were lost on the way.
void FormProcess::settled() {
    Bytes train = std::move(*Settling);
    Settling.reset();
    msComm1_.setRThreshold(EchoLength + ReplyLength);
    const std::size_t bytes = train.size() - static_cast<std::size_t>(EchoLength);
    if (bytes % ReplyLength != 0) {
        AwaitingReply = true;
        armTimer(kReplyTimeout);
        return;
    }
    const int answers = static_cast<int>(bytes / ReplyLength);
    Owed = answers == 1 ? 0 : std::max(0, Owed - answers);
    train.erase(train.begin() + EchoLength, train.end() - ReplyLength);
    answer(train);
}

void FormProcess::answer(const Bytes& reply) {
    if (ReplyKind == kCommandReply) {
        commandReply(reply);
    } else {
        blockReply(reply);
    }
}

void FormProcess::commandReply(const Bytes& reply) {
    const auto verdict = judgeCommandReply(reply[static_cast<std::size_t>(EchoLength)]);
    const std::uint8_t code = CommandFrame[1];
    if (verdict == CommandVerdict::Unreadable) {
        AwaitingReply = true;
        armTimer(kUnreadableTimeout);
        return;
    }
    if (verdict == CommandVerdict::Refused) {
        if (code == kHandshake && state_.UpdateMode &&
            reply[static_cast<std::size_t>(EchoLength) + 1] == kSpeedUp) {
            // The device knows this firmware and will not take it.
            closeWindow(kCloseAfterFailure);
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
            UpdateProgress();
            nextStep();
            break;
        case kWrite:
            ReplyLength = kAckLength;
            NextReplyKind = kBlockReply;
            SendDataBlock();
            break;
        case kGo:
            msComm1_.setPortOpen(false);
            msComm1_.setRThreshold(0);
            CloseRequested = true;
            state_.SessionSucceeded = true;
            armTimer(kCloseSoon);
            break;
        default:
            break;
    }
}

void FormProcess::handshakeAccepted(const Bytes& reply) {
    AddrLow = static_cast<std::int16_t>(state_.ImageStart % 256);
    AddrPage = static_cast<std::int16_t>(state_.ImageStart / 256);
    const auto reported = reply.begin() + EchoLength;  // the reply after the echo
    const bool speedUp = reported[1] == kSpeedUp;
    if (state_.UpdateMode && speedUp &&
        !std::equal(state_.ModelId.begin(), state_.ModelId.end(), reported + 7)) {
        endWith("Model Error！", kCloseAfterFailure);
        return;
    }
    if (speedUp) {
        if (!msComm1_.setSettings(std::string(kSettings19200))) {
            portFailed();
            return;
        }
        HighBaudNext = false;
        // The device needs a moment at the new rate. The pause is Timer1's, not a blocking
        // one: other windows and sessions go on meanwhile, and nothing of this one does.
        Pausing = true;
        ReplyKind = 0;
        armTimer(kSpeedUpPause);
        return;
    }
    firstStep();
}

void FormProcess::firstStep() {
    if (state_.UpdateMode) {
        sendErase(eraseUnitOf(AddrPage * 256 + AddrLow));
    } else {
        AddrLow = 0;  // reads start on a page
        sendRead();
    }
}

void FormProcess::blockReply(const Bytes& reply) {
    if (CommandFrame[1] == kRead) {
        readBlockArrived(reply);
        return;
    }
    if (reply[static_cast<std::size_t>(EchoLength)] != kAck) {
        // The frame in CommandFrame goes again: after a failed data block that is its write
        // command, whose acceptance sends the block again.
        if (state_.UpdateMode) NextReplyKind = kCommandReply;
        resendOrFail();
        return;
    }
    if (CommandFrame[1] == kWrite) advance(CommandFrame[5]);  // the block's length
    UpdateProgress();
    nextStep();
}

// A read block is stored only when its XOR matches; a bad one is asked for again.
void FormProcess::readBlockArrived(const Bytes& reply) {
    const auto data = reply.begin() + EchoLength;
    if (xorOf(std::span(data, kReadBlock)) != data[kReadBlock]) {
        resendOrFail();
        return;
    }
    const std::size_t base = CommandFrame[3] * 256u + CommandFrame[4];
    std::copy(data, data + kReadBlock,
              state_.FirmwareImage.begin() + static_cast<std::ptrdiff_t>(base));
    advance(kReadBlock);
    UpdateProgress();
    if (finished(AddrPage, AddrLow, state_.ImageEnd)) {
        sendGo(kReadGoAddress);
    } else {
        sendRead();
    }
}

void FormProcess::sendRead() {
    putRead(CommandFrame, AddrPage * 256 + AddrLow);
    sendStep(kReadLength, kReadReplyLength, kBlockReply, "ReadMemory");
}

void FormProcess::sendGo(int address) {
    putGo(CommandFrame, address);
    sendStep(kGoLength, kAckLength, kCommandReply, "GoApplication");
}

void FormProcess::sendStep(std::uint8_t frameLength, std::uint8_t replyLength,
                           std::uint8_t replyKind, std::string_view label) {
    FrameLength = frameLength;
    ReplyLength = replyLength;
    NextReplyKind = replyKind;
    SendCommand(label);
}

void FormProcess::advance(int count) {
    AddrLow = static_cast<std::int16_t>(AddrLow + count);
    if (AddrLow >= 256) {
        AddrLow = static_cast<std::int16_t>(AddrLow - 256);
        ++AddrPage;
    }
}

void FormProcess::nextStep() {
    const int next = AddrPage * 256 + AddrLow;
    if (finished(AddrPage, AddrLow, state_.ImageEnd)) {
        sendGo(state_.ImageStart);
    } else if (eraseUnitOf(next) != ErasedUnit) {
        sendErase(eraseUnitOf(next));
    } else {
        putWrite(CommandFrame, next, blockLength(AddrPage, AddrLow, state_.ImageEnd));
        sendStep(kWriteLength, kAckLength, kCommandReply, "WriteMemory");
    }
}

void FormProcess::sendErase(int unit) {
    putErase(CommandFrame, unit);
    ErasedUnit = unit;
    sendStep(kEraseLength, kAckLength, kBlockReply, "EraseMemory");
}

void FormProcess::resendOrFail() {
    if (RetryCount < kFailureLimit) {
        SendCommand("Retry");
        ++RetryCount;
    } else {
        failureEnd();
    }
}

void FormProcess::failureEnd() {
    endWith(failureText(AddrPage, AddrLow), kCloseAfterFailure);
}

// The port went away or refused a write or a setting: nothing more can reach the device.
void FormProcess::portFailed() {
    if (CloseRequested) return;
    AwaitingReply = false;
    timer1_.setEnabled(false);
    msComm1_.setPortOpen(false);
    endWith(text(kReselectPort, kReselectPortChinese), kCloseSoon);
}

// The session is over before the box opens: nothing the line does while it is open (a port
// pulled out, a late reply) goes on with the session or ends it a second time.
void FormProcess::endWith(std::string_view text, int closeAfter) {
    ReplyKind = 0;
    CloseRequested = true;
    message(text);
    closeWindow(closeAfter);
}

void FormProcess::Timer1_Timer() {
    timer1_.setEnabled(false);
    if (CloseRequested) {
        window_.unload();
        return;
    }
    if (Pausing) {
        Pausing = false;
        firstStep();
        return;
    }
    if (Settling) {
        settled();
        return;
    }
    if (!AwaitingReply || TimeoutBusy) return;

    TimeoutBusy = true;
    ++RetryCount;
    // CommandFrame holds the write command while its data block is in flight: the resend is
    // the write command, answered as a command reply.
    if (CommandFrame[1] == kWrite) NextReplyKind = kCommandReply;
    if (RetryCount <= kSilentResends) {
        SendCommand("Retry");
        TimeoutBusy = false;
        return;
    }
    RetryCount = 0;
    const int before = Transmissions;
    const ui::Answer answer = toolkit_.showMessage(
        {std::string(text("Check connection!Retry or cancel?", "检测连接！重试或取消？")),
         state_.AppTitle, ui::Icon::Critical, ui::Buttons::RetryCancel});
    if (CloseRequested) return;  // the session ended while the prompt was open
    if (answer == ui::Answer::Retry) {
        // A reply that came while the prompt was open moved the session on; its frame in
        // flight gets a time-out of its own instead of a resend that would cross its reply.
        if (Transmissions == before) {
            SendCommand("Retry");
        } else {
            AwaitingReply = true;
            armTimer(kReplyTimeout);
        }
        TimeoutBusy = false;
        return;
    }
    msComm1_.setPortOpen(false);
    CloseRequested = true;
    armTimer(kCloseSoon);
}

void FormProcess::UpdateProgress() {
    const double fraction = progressFraction(AddrPage, AddrLow, state_.ImageStart, state_.ImageEnd);
    progressBar1_.setValue(static_cast<float>(fraction));
    labelProcess_.setCaption(progressText(fraction));
}

void FormProcess::closeWindow(int milliseconds) {
    if (msComm1_.portOpen()) msComm1_.setPortOpen(false);
    CloseRequested = true;
    armTimer(milliseconds);
}

void FormProcess::armTimer(int milliseconds) {
    timer1_.setInterval(milliseconds);
    timer1_.setEnabled(true);
}

bool FormProcess::transmit(const Bytes& bytes) {
    if (msComm1_.portOpen()) msComm1_.input();  // stale bytes must not precede the echo
    Sent = bytes;
    ++Transmissions;
    ++Owed;
    if (msComm1_.output(bytes)) return true;
    portFailed();
    return false;
}

void FormProcess::message(std::string_view text) {
    toolkit_.showMessage({std::string(text), state_.AppTitle, ui::Icon::Critical, ui::Buttons::Ok});
}

std::string_view FormProcess::text(std::string_view english, std::string_view chinese) const {
    return state_.UseEnglish ? english : chinese;
}

}  // namespace comflash::session
