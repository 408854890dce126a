// Faults the simulated device injects into its replies, chosen by frame number or at random.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace comflash::sim {

enum class FaultKind {
    Drop,        // the frame is lost: no effect, no reply
    Nak,         // the frame is refused: no effect, the reply is a NAK
    Corrupt,     // the frame is carried out; byte 0 of its reply is inverted
    Garbage,     // the frame is carried out; noise bytes precede its reply
    Partial,     // the frame is carried out; only the first half of its reply is sent
    WrongModel,  // a handshake is answered with another model identifier
    Delay,       // the frame is carried out; its reply is held back
    Hangup,      // the device hangs up the line right after the frame's echo
};

// The longest delay a fault may hold a reply back: a day. Longer ones are refused; they would
// only overflow the device's clock arithmetic.
inline constexpr std::chrono::milliseconds kMaxFaultDelay = std::chrono::hours(24);

struct Fault {
    FaultKind kind = FaultKind::Drop;
    std::chrono::microseconds delay{0};  // Delay only
};

// What a fault is drawn for. The host ends an update session for good when its handshake is
// refused, so a random fault never refuses a handshake.
enum class FrameKind { Handshake, Other };

// A memory cell that holds one value whatever is erased or written into it: the device
// acknowledges the write all the same, so only a read-back shows the difference.
struct StuckByte {
    std::uint16_t address = 0;
    std::uint8_t value = 0;
};

// Which frame gets which fault. Frames are numbered from 1 in the order the device reads them.
class FaultPlan {
  public:
    // Adds one fault in the --fault grammar ("drop:5", "drop:5-9", "delay:8:2500",
    // "random:0.05", "stuck:0x8010:0x00", ...). Returns the reason when the text is not
    // understood or a delay is longer than kMaxFaultDelay.
    std::optional<std::string> add(std::string_view text);
    void setSeed(std::uint64_t seed) { seed_ = seed; }
    std::uint64_t seed() const { return seed_; }
    // Adds `other`'s faults after this plan's own: where both name a frame, this one's wins.
    // Its random rate counts only when this plan has none.
    void append(const FaultPlan& other);

    // The fault for frame `frame`: the first scheduled fault whose range holds it, else a fault
    // drawn from the seed, the frame number and the kind of frame with the random rate, else
    // none.
    std::optional<Fault> faultFor(int frame, FrameKind kind) const;
    const std::vector<StuckByte>& stuckBytes() const { return stuck_; }

  private:
    struct Scheduled {
        int first = 0;
        int last = 0;
        Fault fault;
    };
    std::vector<Scheduled> scheduled_;
    std::vector<StuckByte> stuck_;
    double randomRate_ = 0.0;
    std::uint64_t seed_ = 0;
};

}  // namespace comflash::sim
