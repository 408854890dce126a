// The simulated bootloader device: bytes from the host go in, the bytes the device puts on the
// line come out, each with the time it is due at the host. It does no I/O and reads no clock,
// so the same inputs always give the same outputs.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace comflash::sim {

using Micros = std::chrono::microseconds;  // time on the line, from an arbitrary start

constexpr std::size_t kMemorySize = 0x10000;
using Memory = std::array<std::uint8_t, kMemorySize>;

inline Memory erasedMemory() {
    Memory memory;
    memory.fill(0xFF);
    return memory;
}

struct Emission {  // bytes the device puts on the line towards the host
    Micros due;    // when the bytes are due at the host (>= the time they were caused)
    std::vector<std::uint8_t> bytes;
    bool hangup = false;  // the device hangs up the line after these bytes
};

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

class Device {
  public:
    explicit Device(DeviceOptions options);

    void setLineRate(int baud);  // the rate the host set on the line
    // Host bytes that arrived at `now`; returns everything the device sends because of them,
    // in order (the echo first, then any reply), each with its due time. Due times never
    // decrease from one emission to the next, across calls too.
    std::vector<Emission> receive(std::span<const std::uint8_t> bytes, Micros now);
    void lineOpened();  // the host opened the port
    void lineClosed();  // the host closed it (a partial frame is dropped)

    const Memory& memory() const { return memory_; }
    const std::vector<std::string>& violations() const { return violations_; }
    const std::vector<std::string>& transcript() const { return transcript_; }
    int sessionsEnded() const { return sessionsEnded_; }  // sessions ended by an accepted go
    int frames() const { return frames_; }                // frames read so far
    // The firmware version of the last accepted handshake (0xFF 0xFF: a read session).
    std::optional<std::array<std::uint8_t, 2>> announcedVersion() const { return version_; }
    std::optional<std::uint16_t> lastGoAddress() const { return lastGo_; }

  private:
    DeviceOptions options_;
    Memory memory_;
    std::vector<std::string> violations_;
    std::vector<std::string> transcript_;
    int sessionsEnded_ = 0;
    int frames_ = 0;
    std::optional<std::array<std::uint8_t, 2>> version_;
    std::optional<std::uint16_t> lastGo_;
};

}  // namespace comflash::sim
