// The far end of a simulated serial line: the host's bytes go in, the bytes that come back go
// out, each with the time it is due at the host. The simulated device is one; a test may put
// a scripted far end of its own in its place.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace comflash::sim {

using Micros = std::chrono::microseconds;  // time on the line, from an arbitrary start

// How long `count` bytes take on the line at `baud`: 10 bits each (start, 8 data, stop).
inline Micros lineTime(std::size_t count, int baud) {
    const long long bits = static_cast<long long>(count) * 10 * 1'000'000;
    return Micros{(bits + baud - 1) / baud};
}

struct Emission {  // bytes the far end puts on the line towards the host
    Micros due;    // when the bytes are due at the host (>= the time they were caused)
    std::vector<std::uint8_t> bytes;
    bool hangup = false;  // the far end hangs up the line after these bytes
};

class LineEnd {
  public:
    virtual ~LineEnd() = default;
    virtual void setLineRate(int baud) = 0;  // the rate the host set on the line
    // Host bytes that arrived at `now`; returns everything sent back because of them.
    virtual std::vector<Emission> receive(std::span<const std::uint8_t> bytes, Micros now) = 0;
    virtual void lineOpened(Micros now) = 0;  // the host opened the port
    virtual void lineClosed(Micros now) = 0;  // the host closed it
};

}  // namespace comflash::sim
