#include "sim/device.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace comflash::sim {

namespace {

constexpr std::uint8_t kHandshake = 0x82;
constexpr std::uint8_t kErase = 0x01;
constexpr std::uint8_t kWrite = 0x02;
constexpr std::uint8_t kGo = 0x03;
constexpr std::uint8_t kRead = 0x81;
constexpr std::uint8_t kReadLength = 0x80;
constexpr std::uint8_t kReadTrailer = 0x52;  // "R"
constexpr std::size_t kUnitSize = 128;       // the erase unit
constexpr std::size_t kMaxBlock = 128;
// Handshake reply bytes 2 and 3: the bootloader's own version, 1.0.
constexpr std::uint8_t kBootloaderMajor = 1;
constexpr std::uint8_t kBootloaderMinor = 0;
// Noise on the line ahead of a reply (the garbage fault); none of it reads as ACK or NAK.
constexpr std::array<std::uint8_t, 3> kGarbage{0x00, 0xE5, 0xFF};

using Bytes = std::vector<std::uint8_t>;

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char digits[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

std::string hex16(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::uint8_t xorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum ^= byte;
    return sum;
}

std::string frameName(const Bytes& frame) {
    switch (frame[1]) {
        case kHandshake:
            return "handshake";
        case kErase:
            return "erase";
        case kWrite:
            return "write";
        case kGo:
            return "go";
        default:
            return "read";
    }
}

std::string faultName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Drop:
            return "drop";
        case FaultKind::Nak:
            return "nak";
        case FaultKind::Corrupt:
            return "corrupt";
        case FaultKind::Garbage:
            return "garbage";
        case FaultKind::Partial:
            return "partial";
        case FaultKind::WrongModel:
            return "model";
        case FaultKind::Delay:
            return "delay";
        case FaultKind::Hangup:
            return "hangup";
    }
    return "";
}

unsigned address(const Bytes& frame) {
    return static_cast<unsigned>(frame[3] << 8 | frame[4]);
}

// `at` moved on by a non-negative `span`, held at the last time the clock can name: delays
// add up over a run, and a reply due past the end of the clock's range is never due, not due
// at a negative time.
Micros later(Micros at, Micros span) {
    return at > Micros::max() - span ? Micros::max() : at + span;
}

}  // namespace

std::string transcriptTime(Micros at) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(at.count() / 1'000'000),
                  static_cast<long long>(at.count() % 1'000'000));
    return text;
}

Device::Device(DeviceOptions options) : options_(std::move(options)), memory_(options_.memory) {
    holdStuckBytes(0, kMemorySize, Micros{0}, false);
}

void Device::setLineRate(int baud) {
    if (baud <= 0 || baud == lineRate_) return;
    lineRate_ = baud;
    note(lastSeen_, "-- line rate " + std::to_string(baud));
}

void Device::lineOpened(Micros now) {
    lastSeen_ = std::max(lastSeen_, now);
    note(lastSeen_, "-- line opened");
}

void Device::lineClosed(Micros now) {
    lastSeen_ = std::max(lastSeen_, now);
    if (auto partial = framer_.reset()) {
        std::vector<Emission> none;  // a cut-short frame gets no reply
        handle(*partial, lastSeen_, none);
    }
    note(lastSeen_, "-- line closed");
    endSession();
}

int Device::listeningRate() const {
    if (phase_ == Phase::Session) return sessionRate_;
    switch (options_.handshakeRate) {
        case HandshakeRate::Only9600:
            return 9600;
        case HandshakeRate::Only19200:
            return kFastRate;
        case HandshakeRate::Any:
            break;
    }
    return 0;
}

bool Device::gateAllows(int baud) const {
    switch (options_.handshakeRate) {
        case HandshakeRate::Only9600:
            return baud == 9600;
        case HandshakeRate::Only19200:
            return baud == kFastRate;
        case HandshakeRate::Any:
            break;
    }
    return true;
}

bool Device::understands(int baud) const {
    switch (phase_) {
        case Phase::Session:
            return baud == sessionRate_;
        case Phase::Started:
            return gateAllows(baud) || baud == sessionRate_;
        case Phase::Idle:
            break;
    }
    return gateAllows(baud);
}

Micros Device::lineTime(std::size_t count) const {
    return options_.lineTiming ? sim::lineTime(count, lineRate_) : Micros{0};
}

std::vector<Emission> Device::receive(std::span<const std::uint8_t> bytes, Micros now) {
    std::vector<Emission> out;
    if (bytes.empty()) return out;
    const Micros arrived = later(std::max(now, hostLineFree_), lineTime(bytes.size()));
    hostLineFree_ = arrived;
    // The echo is the host's own bytes coming back: it waits for none of the device's replies.
    out.push_back(Emission{arrived, Bytes(bytes.begin(), bytes.end())});
    lastSeen_ = arrived;

    if (!understands(lineRate_)) {
        note(arrived, "-- garbled at " + std::to_string(lineRate_) + " baud: " + hex(bytes));
        return out;
    }
    for (Framer::Unit& unit : framer_.feed(bytes, now)) {
        handle(unit, arrived, out);
        if (out.front().hangup) {
            out.resize(1);
            break;
        }
    }
    return out;
}

void Device::handle(Framer::Unit& unit, Micros at, std::vector<Emission>& out) {
    using Kind = Framer::Kind;
    if (unit.kind == Kind::Excess) {
        violation(at, (unit.dataBlock ? "data block longer than announced, extra bytes: "
                                      : "bytes written after a frame, before its reply: ") +
                          hex(unit.bytes));
        return;
    }
    ++frames_;
    const std::string number = frameTag();
    if (unit.kind == Kind::Unreadable) {
        note(at, "rx " + number + "unreadable " + hex(unit.bytes));
        violation(at, "bytes that make no frame: " + hex(unit.bytes));
        return;
    }
    if (unit.kind == Kind::Incomplete) {
        note(at, "rx " + number + "incomplete " + hex(unit.bytes));
        const std::string what = unit.dataBlock ? "data block" : "frame";
        violation(at, what + " cut short: " + std::to_string(unit.bytes.size()) + " of " +
                          (unit.expected ? std::to_string(unit.expected) : "more") + " bytes");
        return;
    }

    const bool block = unit.kind == Kind::DataBlock;
    note(at,
         "rx " + number + (block ? "data block" : frameName(unit.bytes)) + " " + hex(unit.bytes));
    // The frame is checked, and every violation in it recorded, before its fault decides what
    // becomes of it: a fault on the line never hides a fault of the host.
    const unsigned blockBase = block ? writeAt_.value_or(0) : 0;
    if (block) writeAt_.reset();  // a data block ends the wait for it, whatever becomes of it
    const Verdict verdict = block ? checkBlock(unit.bytes, blockBase, at) : check(unit.bytes, at);
    // A data block has no code: one whose byte 1 happens to be 82 is no handshake.
    const Bytes refused = block ? Bytes{} : unit.bytes;

    fault_ = options_.faults.faultFor(
        frames_, !block && unit.bytes[1] == kHandshake ? FrameKind::Handshake : FrameKind::Other);
    if (fault_ && fault_->kind == FaultKind::Hangup) {
        note(at, "-- " + number + "fault hangup: the device hangs up the line");
        out.front().hangup = true;
        endSession();
        return;
    }
    if (fault_ && fault_->kind == FaultKind::Drop) {
        note(at, "-- " + number + "fault drop: no reply");
        return;
    }
    if (fault_ && fault_->kind == FaultKind::Nak) {
        send(refusal(refused), at, out);
        return;
    }
    switch (verdict) {
        case Verdict::Ignore:
            return;
        case Verdict::Refuse:
            send(refusal(refused), at, out);
            return;
        case Verdict::Carry:
            break;
    }
    if (block) {
        send(dataBlock(unit.bytes, blockBase, at), at, out);
        return;
    }
    const Micros due = send(carryOut(unit.bytes, at), at, out);
    if (unit.bytes[1] == kWrite) {
        framer_.expectDataBlock(std::size_t{unit.bytes[5]} + 1, due, later(due, kDataBlockWait));
    }
}

Device::Verdict Device::check(const Bytes& frame, Micros at) {
    if (frame[1] == kHandshake) {
        if (phase_ == Phase::Started && !gateAllows(lineRate_)) {
            // Read only because a repeated go frame would come at this rate.
            note(at, "-- handshake ignored: handshakes are read at " +
                         std::to_string(listeningRate()) + " baud");
            return Verdict::Ignore;
        }
        const std::uint8_t sum = xorOf(std::span(frame).first(7));
        if (sum != frame[7]) {
            violation(at, "handshake checksum " + hex(std::span(frame).last(1)) + ", expected " +
                              hex(std::span(&sum, 1)));
            return Verdict::Refuse;
        }
        return Verdict::Carry;
    }
    if (phase_ == Phase::Started && frame == goFrame_) return Verdict::Carry;
    if (phase_ != Phase::Session) {
        violation(at, frameName(frame) + " frame before the handshake");
        return Verdict::Ignore;
    }

    const unsigned base = address(frame);
    auto malformed = [&](const std::string& why) {
        violation(at, frameName(frame) + " frame " + hex(frame) + ": " + why);
        return Verdict::Refuse;
    };
    if (frame[2] != 0x00) return malformed("byte 2 is not 00");
    switch (frame[1]) {
        case kErase:
            if (base % kUnitSize != 0) return malformed("not the base of an erase unit");
            break;
        case kWrite: {
            const std::size_t length = frame[5];
            if (length == 0 || length > kMaxBlock) return malformed("length out of 1 to 128");
            if (base + length > kMemorySize) return malformed("runs past the end of memory");
            // Carried out all the same: the device writes what it is told to.
            for (std::size_t unit = base / kUnitSize; unit <= (base + length - 1) / kUnitSize;
                 ++unit) {
                if (!erased_.test(unit)) {
                    violation(at, "write of " + std::to_string(length) + " bytes at " +
                                      hex16(base) + " into the unit at " +
                                      hex16(static_cast<unsigned>(unit * kUnitSize)) +
                                      ", not erased in this session");
                }
            }
            break;
        }
        case kRead:
            if (frame[5] != kReadLength || frame[6] != kReadTrailer) {
                return malformed("not a request for 128 bytes ending in 52");
            }
            if (base + kReadLength > kReadWindowSize) {
                return malformed("runs past the end of the read window");
            }
            break;
        default:  // go
            break;
    }
    return Verdict::Carry;
}

Device::Verdict Device::checkBlock(const Bytes& block, unsigned base, Micros at) {
    const std::uint8_t sum = xorOf(std::span(block).first(block.size() - 1));
    if (sum == block.back()) return Verdict::Carry;
    violation(at, "data block for " + hex16(base) + ": checksum " + hex(std::span(block).last(1)) +
                      ", expected " + hex(std::span(&sum, 1)));
    return Verdict::Refuse;
}

Bytes Device::carryOut(const Bytes& frame, Micros at) {
    if (frame[1] == kHandshake) return handshake(frame, at);
    if (phase_ == Phase::Started) {  // only the go frame that ended the session gets here
        note(at, "-- the go frame again: its acknowledgement is repeated");
        return Bytes{kAck};
    }
    return command(frame, at);
}

Bytes Device::handshake(const Bytes& frame, Micros at) {
    phase_ = Phase::Session;
    sessionRate_ = options_.speedUp ? kFastRate : lineRate_;
    erased_.reset();
    writeAt_.reset();
    version_ = {frame[5], frame[6]};
    note(at, "-- session at " + std::to_string(sessionRate_) + " baud, version " + hex(*version_) +
                 (frame[5] == 0xFF && frame[6] == 0xFF ? " (read)" : ""));
    Bytes reply = refusal(frame);
    reply[0] = kAck;
    if (fault_ && fault_->kind == FaultKind::WrongModel) {
        for (std::size_t i = 7; i < 10; ++i) reply[i] = static_cast<std::uint8_t>(~reply[i]);
    }
    return reply;
}

Bytes Device::command(const Bytes& frame, Micros at) {
    const unsigned base = address(frame);
    switch (frame[1]) {
        case kErase:
            std::fill_n(memory_.begin() + base, kUnitSize, std::uint8_t{0xFF});
            holdStuckBytes(base, kUnitSize, at, false);
            erased_.set(base / kUnitSize);
            return Bytes{kAck};
        case kWrite:
            writeAt_ = static_cast<std::uint16_t>(base);
            return Bytes{kAck};
        case kGo:
            lastGo_ = static_cast<std::uint16_t>(base);
            ++sessionsEnded_;
            endSession();
            phase_ = Phase::Started;
            goFrame_ = frame;
            note(at, "-- session ended: go to " + hex16(base));
            return Bytes{kAck};
        default: {  // read request: addresses count from the start of the read window
            const auto first = memory_.begin() + kReadWindow + base;
            Bytes reply(first, first + kReadLength);
            reply.push_back(xorOf(reply));
            return reply;
        }
    }
}

Bytes Device::dataBlock(const Bytes& block, unsigned base, Micros at) {
    std::copy(block.begin(), block.end() - 1, memory_.begin() + base);
    holdStuckBytes(base, block.size() - 1, at, true);
    return Bytes{kAck};
}

void Device::holdStuckBytes(unsigned from, std::size_t count, Micros at, bool written) {
    // The first stuck fault given for an address wins: it is applied last.
    const auto& stuckBytes = options_.faults.stuckBytes();
    for (auto it = stuckBytes.rbegin(); it != stuckBytes.rend(); ++it) {
        const StuckByte& stuck = *it;
        if (stuck.address < from || stuck.address >= from + count) continue;
        std::uint8_t& cell = memory_[stuck.address];
        if (written && cell != stuck.value) {
            note(at, "-- stuck byte at " + hex16(stuck.address) + " keeps " +
                         hex(std::span(&stuck.value, 1)) + ", written " + hex(std::span(&cell, 1)));
        }
        cell = stuck.value;
    }
}

Bytes Device::refusal(const Bytes& frame) const {
    if (frame.empty() || frame[1] != kHandshake) return Bytes{kNak};
    const auto& model = options_.model;
    return Bytes{kNak,
                 options_.speedUp ? kSpeedUp : kNoSpeedUp,
                 kBootloaderMajor,
                 kBootloaderMinor,
                 frame[5],
                 frame[6],
                 0x00,
                 model[0],
                 model[1],
                 model[2]};
}

Micros Device::send(Bytes bytes, Micros at, std::vector<Emission>& out) {
    Micros delay{0};
    std::string tag;
    if (fault_) {
        tag = " (fault " + faultName(fault_->kind) + ")";
        switch (fault_->kind) {
            case FaultKind::Corrupt:
                bytes.front() = static_cast<std::uint8_t>(~bytes.front());
                break;
            case FaultKind::Garbage:
                bytes.insert(bytes.begin(), kGarbage.begin(), kGarbage.end());
                break;
            case FaultKind::Partial:
                bytes.resize(bytes.size() / 2);
                break;
            case FaultKind::Delay:
                delay = fault_->delay;
                break;
            default:
                break;
        }
    }
    const Micros due = later(later(std::max(at, lineFree_), delay), lineTime(bytes.size()));
    lineFree_ = due;
    note(due, "tx " + frameTag() + (bytes.empty() ? "nothing" : hex(bytes)) + tag);
    if (!bytes.empty()) out.push_back(Emission{due, std::move(bytes)});
    return due;
}

void Device::endSession() {
    phase_ = Phase::Idle;
    writeAt_.reset();
    framer_.reset();
}

std::string Device::frameTag() const {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "#" + a temporary.
    std::string tag(1, '#');
    tag += std::to_string(frames_);
    tag += ' ';
    return tag;
}

void Device::note(Micros at, const std::string& text) {
    transcript_.push_back(transcriptTime(at) + " " + text);
}

void Device::violation(Micros at, const std::string& text) {
    const std::string line = frameTag() + text;
    violations_.push_back(line);
    note(at, "!! " + line);
}

}  // namespace comflash::sim
