// The simulated bootloader device: bytes from the host go in, the bytes the device puts on the
// line come out, each with the time it is due at the host. It does no I/O and reads no clock,
// so the same inputs always give the same outputs.
//
// The device's rules:
// - The line echoes every byte the host sends: the echo reaches the host as soon as the bytes
//   have reached the device, whatever the device is doing. A reply goes out only after its
//   frame has arrived, so it follows that frame's echo, and the device's replies queue one
//   behind the other. A reply held back (the delay fault) therefore reaches the host after the
//   echo of any write the host made in the meantime, as on a real line.
// - Until a handshake is accepted the device reads only the handshake rates it was built for
//   (9600, 19200 or any rate); bytes at another rate are garbled and get no answer, though
//   their echo comes back. An accepted handshake starts a session at 19200 baud when the device
//   speeds up, else at the rate of the handshake; within the session only that rate is read.
// - A session ends with an accepted go frame (the device then starts the application and
//   waits for the next handshake), when the host closes the line, or when the device hangs up.
//   A go frame repeated right after the accepted one (its acknowledgement was lost) is
//   acknowledged again without ending another session; until the next handshake the device
//   also reads the session's rate for it.
// - Every protocol violation is recorded: anything but a handshake outside a session, bytes
//   that make no frame, a malformed frame, a bad checksum, a data block shorter or longer than
//   announced, a write into an erase unit that was not erased in this session, bytes written
//   before the reply to the frame before them.
// - A stuck byte (the stuck fault) keeps its value through erases and writes, which are
//   acknowledged all the same: only reading it back shows the difference.
// - Frames are numbered from 1 in the order the device reads them; the fault plan picks the
//   frames whose replies go wrong. A frame is checked, and its violations recorded, before its
//   fault decides what becomes of it, so a fault never hides a violation.
#pragma once

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/framer.h"
#include "sim/line_end.h"

namespace comflash::sim {

constexpr std::size_t kMemorySize = 0x10000;
using Memory = std::array<std::uint8_t, kMemorySize>;
// A read request for X (0 to 0x7FFF) reads the memory at kReadWindow + X: the upper 32 KiB,
// where the application lives. A saved read-back file places X at the same address, so what
// was written can be read back and written again as it is.
constexpr std::size_t kReadWindow = 0x8000;
constexpr std::size_t kReadWindowSize = kMemorySize - kReadWindow;

inline Memory erasedMemory() {
    Memory memory;
    memory.fill(0xFF);
    return memory;
}

// A time as the transcript's lines start: seconds with six decimals.
std::string transcriptTime(Micros at);

// The line rates at which the device understands a handshake.
enum class HandshakeRate { Any, Only9600, Only19200 };

struct DeviceOptions {
    std::array<std::uint8_t, 3> model{1, 2, 3};
    HandshakeRate handshakeRate = HandshakeRate::Any;
    // True: the handshake reply's byte 1 is 0x55 and the device moves to 19200 baud after an
    // accepted handshake. False: byte 1 is another value and the rate stays.
    bool speedUp = true;
    // True: every byte takes 10 bit times at the line rate. False: bytes are due at once.
    bool lineTiming = false;
    FaultPlan faults;
    Memory memory = erasedMemory();
};

class Device : public LineEnd {
  public:
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kNak = 0x1F;
    static constexpr std::uint8_t kSpeedUp = 0x55;    // handshake reply byte 1: go to 19200
    static constexpr std::uint8_t kNoSpeedUp = 0x00;  // handshake reply byte 1: keep the rate
    static constexpr int kFastRate = 19200;
    // How long after its acknowledgement of a write command the device waits for the data block;
    // a host that did not get the acknowledgement resends the write command only after a
    // time-out of a second or more.
    static constexpr Micros kDataBlockWait{500'000};

    explicit Device(DeviceOptions options);

    void setLineRate(int baud) override;  // the rate the host set on the line
    // Host bytes that arrived at `now`; returns everything the device sends because of them
    // (the echo first, then any reply), each with its due time. Within one call due times never
    // decrease. Across calls echoes never go back in time and neither do replies, but an echo
    // may be due before a reply returned by an earlier call: emissions reach the host in
    // due-time order, those due at the same time in the order they were returned. Due times
    // that would pass the end of Micros's range are Micros::max(). After an emission with
    // `hangup` set nothing more is sent for the bytes given so far.
    std::vector<Emission> receive(std::span<const std::uint8_t> bytes, Micros now) override;
    void lineOpened(Micros now) override;  // the host opened the port
    void lineClosed(Micros now) override;  // the host closed it (a partial frame is dropped)

    const Memory& memory() const { return memory_; }
    // What read requests for 0 to 0x7FFF see.
    std::span<const std::uint8_t, kReadWindowSize> readWindow() const {
        return std::span(memory_).subspan<kReadWindow>();
    }
    const std::vector<std::string>& violations() const { return violations_; }
    // One line per frame received, per reply sent and per event on the line, each starting with
    // its time in seconds.
    const std::vector<std::string>& transcript() const { return transcript_; }
    int sessionsEnded() const { return sessionsEnded_; }  // sessions ended by an accepted go
    int frames() const { return frames_; }                // frames read so far
    // The firmware version of the last accepted handshake (0xFF 0xFF: a read session).
    std::optional<std::array<std::uint8_t, 2>> announcedVersion() const { return version_; }
    std::optional<std::uint16_t> lastGoAddress() const { return lastGo_; }
    bool inSession() const { return phase_ == Phase::Session; }
    // The rate the device reads host bytes at now, 0 for any rate.
    int listeningRate() const;

  private:
    enum class Phase { Idle, Session, Started };
    using Bytes = std::vector<std::uint8_t>;

    bool gateAllows(int baud) const;   // a handshake may come at this rate
    bool understands(int baud) const;  // the device reads bytes at this rate now
    // What the device makes of a frame before any fault: carry it out, refuse it, or ignore it.
    enum class Verdict { Carry, Refuse, Ignore };

    void handle(Framer::Unit& unit, Micros at, std::vector<Emission>& out);
    // Check a command frame or a data block (for the write command's address `base`); they
    // record every violation and change nothing else.
    Verdict check(const Bytes& frame, Micros at);
    Verdict checkBlock(const Bytes& block, unsigned base, Micros at);
    // Carry out a frame that passed its checks; they return the reply.
    Bytes carryOut(const Bytes& frame, Micros at);
    Bytes handshake(const Bytes& frame, Micros at);
    Bytes command(const Bytes& frame, Micros at);
    Bytes dataBlock(const Bytes& block, unsigned base, Micros at);
    Bytes refusal(const Bytes& frame) const;
    // Stuck cells within [from, from + count) take their value back; a write into one is noted.
    void holdStuckBytes(unsigned from, std::size_t count, Micros at, bool written);
    // Puts a reply on the line after the replies before it, as the frame's fault alters it;
    // returns when it is due at the host.
    Micros send(Bytes bytes, Micros at, std::vector<Emission>& out);
    void endSession();
    Micros lineTime(std::size_t count) const;
    std::string frameTag() const;  // "#N " for the frame being handled
    void note(Micros at, const std::string& text);
    void violation(Micros at, const std::string& text);

    DeviceOptions options_;
    Memory memory_;
    Framer framer_;
    std::vector<std::string> violations_;
    std::vector<std::string> transcript_;
    int sessionsEnded_ = 0;
    int frames_ = 0;
    int lineRate_ = 9600;
    int sessionRate_ = 0;
    Phase phase_ = Phase::Idle;
    std::bitset<kMemorySize / 128> erased_;  // erase units erased in this session
    std::optional<std::array<std::uint8_t, 2>> version_;
    std::optional<std::uint16_t> lastGo_;
    Bytes goFrame_;                         // the go frame that ended the last session
    std::optional<std::uint16_t> writeAt_;  // the write command awaiting its data block
    std::optional<Fault> fault_;            // the fault of the frame being handled
    Micros hostLineFree_{0};                // host to device: when the line is free again
    Micros lineFree_{0};                    // towards the host: when the last reply is out
    Micros lastSeen_{0};                    // the latest time the device was told of
};

}  // namespace comflash::sim
