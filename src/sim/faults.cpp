#include "sim/faults.h"

#include <array>
#include <charconv>
#include <span>
#include <utility>

namespace comflash::sim {

namespace {

struct Named {
    std::string_view name;
    FaultKind kind;
};
constexpr std::array<Named, 8> kNames{{
    {"drop", FaultKind::Drop},
    {"nak", FaultKind::Nak},
    {"corrupt", FaultKind::Corrupt},
    {"garbage", FaultKind::Garbage},
    {"partial", FaultKind::Partial},
    {"model", FaultKind::WrongModel},
    {"delay", FaultKind::Delay},
    {"hangup", FaultKind::Hangup},
}};

// The kinds a random fault is drawn from. A wrong model and a hang-up end the host's session
// for good, so they are only given by frame number; so does a refused handshake (its reply
// says the device speeds up, and the host then gives up at once), so a handshake is never
// refused at random.
constexpr std::array<FaultKind, 6> kRandomKinds{FaultKind::Drop,    FaultKind::Nak,
                                                FaultKind::Corrupt, FaultKind::Garbage,
                                                FaultKind::Partial, FaultKind::Delay};
constexpr std::array<FaultKind, 5> kRandomHandshakeKinds{
    FaultKind::Drop, FaultKind::Corrupt, FaultKind::Garbage, FaultKind::Partial, FaultKind::Delay};
constexpr std::uint64_t kRandomDelayMinMs = 100;
constexpr std::uint64_t kRandomDelaySpanMs = 2901;  // random delays are 100 to 3000 ms

// SplitMix64: the draw for a frame depends only on the seed and the frame number, so a fault
// pattern repeats exactly whatever else happened on the line.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

// Decimal, or hexadecimal after 0x: addresses and byte values read either way.
template <typename Number>
bool parseValue(std::string_view text, Number& value) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

// "N" or "N-M", 1 <= N <= M.
bool parseFrames(std::string_view text, int& first, int& last) {
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) {
        if (!parseNumber(text, first)) return false;
        last = first;
    } else if (!parseNumber(text.substr(0, dash), first) ||
               !parseNumber(text.substr(dash + 1), last)) {
        return false;
    }
    return first >= 1 && last >= first;
}

}  // namespace

std::optional<std::string> FaultPlan::add(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return "a fault is KIND:FRAMES: " + std::string(text);
    const std::string_view name = text.substr(0, colon);
    std::string_view rest = text.substr(colon + 1);

    if (name == "random") {
        double rate = 0;
        if (!parseNumber(rest, rate) || !(rate >= 0.0 && rate <= 1.0)) {
            return "random needs a probability from 0 to 1: " + std::string(text);
        }
        randomRate_ = rate;
        return std::nullopt;
    }
    if (name == "stuck") {
        const auto second = rest.find(':');
        StuckByte stuck;
        if (second == std::string_view::npos ||
            !parseValue(rest.substr(0, second), stuck.address) ||
            !parseValue(rest.substr(second + 1), stuck.value)) {
            return "stuck is stuck:ADDRESS:VALUE, an address to FFFF and a byte: " +
                   std::string(text);
        }
        stuck_.push_back(stuck);
        return std::nullopt;
    }
    const Named* named = nullptr;
    for (const Named& candidate : kNames) {
        if (candidate.name == name) named = &candidate;
    }
    if (named == nullptr) return "unknown fault kind: " + std::string(text);

    Scheduled entry;
    entry.fault.kind = named->kind;
    if (named->kind == FaultKind::Delay) {
        const auto second = rest.find(':');
        long long ms = 0;
        if (second == std::string_view::npos || !parseNumber(rest.substr(second + 1), ms) ||
            ms < 0) {
            return "delay is delay:FRAMES:MILLISECONDS: " + std::string(text);
        }
        // Compared before the conversion to microseconds, which would overflow first.
        if (ms > kMaxFaultDelay.count()) {
            return "a delay is at most " + std::to_string(kMaxFaultDelay.count()) +
                   " milliseconds (a day): " + std::string(text);
        }
        entry.fault.delay = std::chrono::milliseconds(ms);
        rest = rest.substr(0, second);
    }
    if (!parseFrames(rest, entry.first, entry.last)) {
        return "frames are N or N-M, counted from 1: " + std::string(text);
    }
    scheduled_.push_back(entry);
    return std::nullopt;
}

void FaultPlan::append(const FaultPlan& other) {
    scheduled_.insert(scheduled_.end(), other.scheduled_.begin(), other.scheduled_.end());
    stuck_.insert(stuck_.end(), other.stuck_.begin(), other.stuck_.end());
    if (randomRate_ <= 0.0) randomRate_ = other.randomRate_;
}

std::optional<Fault> FaultPlan::faultFor(int frame, FrameKind kind) const {
    for (const Scheduled& entry : scheduled_) {
        if (frame >= entry.first && frame <= entry.last) return entry.fault;
    }
    if (randomRate_ <= 0.0) return std::nullopt;
    const std::uint64_t draw = mix(seed_ ^ mix(static_cast<std::uint64_t>(frame)));
    const double uniform = static_cast<double>(draw >> 11) * 0x1p-53;
    if (uniform >= randomRate_) return std::nullopt;
    const std::uint64_t kindDraw = mix(draw);
    const std::span<const FaultKind> kinds = kind == FrameKind::Handshake
                                                 ? std::span<const FaultKind>(kRandomHandshakeKinds)
                                                 : std::span<const FaultKind>(kRandomKinds);
    Fault fault{kinds[kindDraw % kinds.size()]};
    if (fault.kind == FaultKind::Delay) {
        fault.delay =
            std::chrono::milliseconds(kRandomDelayMinMs + mix(kindDraw) % kRandomDelaySpanMs);
    }
    return fault;
}

}  // namespace comflash::sim
