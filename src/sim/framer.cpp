#include "sim/framer.h"

#include <algorithm>

namespace comflash::sim {

namespace {

constexpr std::uint8_t kMarker = 0x55;

}  // namespace

std::optional<std::size_t> commandLength(std::uint8_t code) {
    switch (code) {
        case 0x82:
            return 8;  // handshake
        case 0x01:
            return 5;  // erase
        case 0x02:
            return 6;  // write command
        case 0x03:
            return 5;  // go
        case 0x81:
            return 7;  // read request
        default:
            return std::nullopt;
    }
}

void Framer::expectDataBlock(std::size_t length, Micros from, Micros until) {
    block_ = BlockWindow{length, from, until};
}

std::optional<Framer::Unit> Framer::takePartial() {
    if (partial_.empty()) return std::nullopt;
    Unit unit{Kind::Incomplete, std::move(partial_), partialIsBlock_, partialLength_};
    partial_.clear();
    return unit;
}

std::optional<Framer::Unit> Framer::reset() {
    block_.reset();
    return takePartial();
}

std::vector<Framer::Unit> Framer::feed(std::span<const std::uint8_t> bytes, Micros now) {
    std::vector<Unit> units;
    if (!partial_.empty() && now - lastWrite_ > kFrameGap) units.push_back(*takePartial());
    lastWrite_ = now;

    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (partial_.empty()) {
            // A frame starts here; this write is a data block only if one is awaited now.
            partialIsBlock_ = block_ && now >= block_->from && now <= block_->until;
            partialLength_ = partialIsBlock_ ? block_->length : 0;
            block_.reset();
        }
        if (!partialIsBlock_) {
            if (partial_.empty() && bytes[pos] != kMarker) break;
            if (partialLength_ == 0 && partial_.size() + (bytes.size() - pos) >= 2) {
                const std::uint8_t code = partial_.size() >= 2 ? partial_[1]
                                          : partial_.empty()   ? bytes[pos + 1]
                                                               : bytes[pos];
                const auto length = commandLength(code);
                if (!length) break;
                partialLength_ = *length;
            }
        }
        const std::size_t wanted =
            partialLength_ == 0 ? bytes.size() - pos : partialLength_ - partial_.size();
        const std::size_t taken = std::min(wanted, bytes.size() - pos);
        partial_.insert(partial_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                        bytes.begin() + static_cast<std::ptrdiff_t>(pos + taken));
        pos += taken;
        if (partialLength_ == 0 || partial_.size() < partialLength_) continue;

        const bool wasBlock = partialIsBlock_;
        units.push_back(Unit{wasBlock ? Kind::DataBlock : Kind::Command, std::move(partial_)});
        partial_.clear();
        if (pos < bytes.size()) {
            units.push_back(Unit{Kind::Excess,
                                 {bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end()},
                                 wasBlock});
        }
        return units;
    }
    if (pos < bytes.size()) {
        // No frame starts with these bytes: the rest of this write is unreadable, together with
        // the start of the frame it was thought to be.
        Unit unit{Kind::Unreadable, std::move(partial_)};
        partial_.clear();
        unit.bytes.insert(unit.bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                          bytes.end());
        units.push_back(std::move(unit));
    }
    return units;
}

}  // namespace comflash::sim
