// Splits the host's byte stream into frames, whatever pieces the bytes arrive in.
//
// A command frame starts with the marker 0x55; its code (byte 1) fixes its length. A data
// block has no header: it is recognised only because it follows the acknowledgement of a write
// command, and its length is the one the write command announced. A well-behaved host writes
// one frame at a time and waits for the reply before it writes again, so the framer also
// reports what such a host never does: bytes that make no frame, a frame cut short (the rest
// never came), and bytes written together with a frame after its end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace comflash::sim {

// The length of the command frame with code `code`, or none for an unknown code.
std::optional<std::size_t> commandLength(std::uint8_t code);

class Framer {
  public:
    using Micros = std::chrono::microseconds;

    // A partial frame whose next bytes come later than this was cut short by the host: the host
    // writes a frame in one go, and waits at least a second before it writes anything else.
    static constexpr Micros kFrameGap{500'000};

    enum class Kind {
        Command,     // a complete command frame
        DataBlock,   // a complete data block
        Unreadable,  // bytes that start no known frame (the rest of that write)
        Incomplete,  // a frame whose remaining bytes never came
        Excess,      // bytes written together with a frame, after its end
    };
    struct Unit {
        Kind kind = Kind::Command;
        std::vector<std::uint8_t> bytes;
        bool dataBlock = false;    // Incomplete: it was a data block; Excess: it followed one
        std::size_t expected = 0;  // Incomplete: the length the frame should have had (0: unknown)
    };

    // The next write that starts between `from` and `until` (inclusive) is a data block of
    // `length` bytes; any other write ends the wait for it.
    void expectDataBlock(std::size_t length, Micros from, Micros until);

    // Bytes the host wrote at `now`, in the order they came.
    std::vector<Unit> feed(std::span<const std::uint8_t> bytes, Micros now);

    // Forgets the partial frame and any awaited data block; returns the partial frame, if any.
    std::optional<Unit> reset();

  private:
    struct BlockWindow {
        std::size_t length = 0;
        Micros from{0};
        Micros until{0};
    };

    std::optional<Unit> takePartial();

    std::vector<std::uint8_t> partial_;
    bool partialIsBlock_ = false;
    std::size_t partialLength_ = 0;  // 0 while a command frame's code is not known yet
    Micros lastWrite_{0};
    std::optional<BlockWindow> block_;
};

}  // namespace comflash::sim
