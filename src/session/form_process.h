// The session window's behaviour: one bootloader session from the moment the window loads
// until it unloads itself. The serial control's receive event drives it: each reply decides
// the next frame. Timer1 is the reply time-out of the frame in flight, the pause after the
// line moves to 19200 baud and, once the session has ended, the deferred closer: the window
// always unloads from a Timer1 tick.
//
// The steps of an update, each acknowledged by the device:
//   handshake -> erase of the unit of ImageStart -> { write command -> data block, with an
//   erase before the first write into every further unit } -> go to ImageStart.
// A read session instead reads 0x0000 to 0x7FFF into the image in 128-byte blocks after the
// handshake; a block whose XOR does not match is asked for again and not stored.
// Replies and what follows them:
//   command reply (handshake, write command, go; also a resent erase or write command):
//     ACK: the next step.  NAK: the same frame again.  Anything else: a time-out in 3 s.
//   block reply (erase, data block): ACK: the next step.  Anything else: the frame in
//     CommandFrame again (for a data block, its write command), answered as a command reply.
//   A reply whose echo is not the bytes just sent is no valid answer: it is waited out like a
//   missing one.
//   A frame resent after a time-out is on its way more than once, and each copy may be
//   answered; a late answer to the frame before may come ahead of them. So while more than
//   one answer is owed, the host waits until the line has been quiet for a moment and acts on
//   the last whole answer, the newest transmission's, so that no other answer passes for this
//   frame's or the next one's (a read block for the next block, an acknowledgement for a data
//   block the device does not await yet).
//   NAKs, failed blocks and time-outs share one count: a tenth refusal or failure ends the
//   session; every sixth time-out in a row asks the user whether to go on.
//   A session that ends with a message ends before the message is shown.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/app_state.h"
#include "session/frames.h"
#include "ui/window.h"

namespace comflash::session {

class FormProcess {
  public:
    // window is the session window (catalogue entry FormProcess); its controls are bound here
    // once and its handlers attached.
    FormProcess(AppState& state, ui::Toolkit& toolkit, ui::Window& window);
    FormProcess(const FormProcess&) = delete;
    FormProcess& operator=(const FormProcess&) = delete;

    enum class Step { Handshake, Erase, Write, Read, Go };
    // What the frame in flight (or the last one sent) asks of the device.
    Step step() const;

  private:
    static constexpr std::uint8_t kCommandReply = 1;
    static constexpr std::uint8_t kBlockReply = 2;

    void Form_Load();
    void Form_Unload();
    void MSComm1_OnComm();
    void Timer1_Timer();
    void SendCommand(std::string_view label);
    void SendDataBlock();
    void UpdateProgress();

    // Acts on the newest answer once the line has settled.
    void settled();
    // Acts on a valid answer: a command reply or a block reply.
    void answer(const Bytes& reply);
    void commandReply(const Bytes& reply);
    void blockReply(const Bytes& reply);
    void handshakeAccepted(const Bytes& reply);
    // The erase of the first unit, or the first read request.
    void firstStep();
    // After an accepted erase or data block: the go frame, the next erase or the next write.
    void nextStep();
    void sendErase(int unit);
    void sendRead();
    void sendGo(int address);
    // Sends the command frame just put into CommandFrame.
    void sendStep(std::uint8_t frameLength, std::uint8_t replyLength, std::uint8_t replyKind,
                  std::string_view label);
    // Moves the next address on by `count` bytes.
    void advance(int count);
    void readBlockArrived(const Bytes& reply);
    // A refused command or a failed block: the frame in CommandFrame again, while the count
    // allows; else the failure end.
    void resendOrFail();
    void failureEnd();
    void portFailed();
    void endWith(std::string_view text, int closeAfter);
    void closeWindow(int milliseconds);
    void armTimer(int milliseconds);
    // Sends bytes after dropping whatever is still buffered; false (the session then ends)
    // when the port failed.
    bool transmit(const Bytes& bytes);
    void message(std::string_view text);
    std::string_view text(std::string_view english, std::string_view chinese) const;

    AppState& state_;
    ui::Toolkit& toolkit_;
    ui::Window& window_;
    ui::ProgressBar& progressBar1_;
    ui::Label& labelProcess_;
    ui::Timer& timer1_;
    ui::CommControl& msComm1_;

    Frame CommandFrame{};
    std::uint8_t FrameLength = 0;
    std::uint8_t ReplyLength = 0;
    std::uint8_t NextReplyKind = 0;
    std::int16_t ReplyKind = 0;  // 0: nothing expected, received data is ignored
    std::int16_t EchoLength = 0;
    std::int16_t AddrPage = 0;  // the next address is AddrPage * 256 + AddrLow
    std::int16_t AddrLow = 0;
    std::int32_t ErasedUnit = 0;
    bool AwaitingReply = false;
    bool CloseRequested = false;
    std::int16_t RetryCount = 0;
    bool HighBaudNext = true;
    bool TimeoutBusy = false;
    // Between the switch to 19200 baud and the first step; Timer1 ends it.
    bool Pausing = false;
    // The bytes of the transmission in flight, which the echo must repeat, and how many
    // transmissions the session has made.
    Bytes Sent;
    int Transmissions = 0;
    // Answers the device may still send for the transmissions made: one per transmission,
    // less those taken from the line. An answer that comes while others are owed waits, in
    // Settling, for the line to settle.
    int Owed = 0;
    std::optional<Bytes> Settling;
    int SettleRound = 0;
};

}  // namespace comflash::session
