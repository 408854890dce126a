#include "sim/fixture.h"

#include <algorithm>
#include <utility>

namespace comflash::sim {

Fixture::Fixture(DeviceOptions device, FixtureOptions options)
    : device_(std::move(device)), options_(std::move(options)) {
    putIn(Micros{0});
}

void Fixture::putIn(Micros at) {
    const int number = static_cast<int>(boards_.size()) + 1;
    DeviceOptions board = device_;
    if (fixture()) {
        // Each board draws its random faults from a seed of its own; board 1 as a lone device.
        board.faults = FaultPlan();
        if (const auto own = options_.faults.find(number); own != options_.faults.end()) {
            board.faults = own->second;
        }
        board.faults.append(device_.faults);
        board.faults.setSeed(device_.faults.seed() + static_cast<std::uint64_t>(number - 1));
    }
    boards_.push_back(std::make_unique<Device>(std::move(board)));
    current().setLineRate(lineRate_);
    present_ = true;
    copied_ = 0;
    putInAt_.reset();
    if (fixture()) {
        transcript_.push_back(transcriptTime(at) + " -- board " + std::to_string(number) +
                              " put in");
        if (options_.stay > Micros{0}) takeOutAt_ = at + options_.stay;
    }
}

void Fixture::takeOut(Micros at) {
    copyTranscript();
    const bool flashed = current().sessionsEnded() > 0;
    transcript_.push_back(transcriptTime(at) + " -- board " + std::to_string(boards_.size()) +
                          " taken out" + (flashed ? "" : ", not flashed"));
    present_ = false;
    takeOutAt_.reset();
    hostLineFree_ = std::max(hostLineFree_, at);
    if (!done()) putInAt_ = at + options_.gap;
}

void Fixture::advance(Micros now) {
    for (;;) {
        if (present_ && takeOutAt_ && *takeOutAt_ <= now) {
            takeOut(*takeOutAt_);
        } else if (!present_ && putInAt_ && *putInAt_ <= now) {
            putIn(*putInAt_);
        } else {
            return;
        }
    }
}

std::optional<Micros> Fixture::nextChange() const {
    return present_ ? takeOutAt_ : putInAt_;
}

bool Fixture::done() const {
    return fixture() && !present_ && static_cast<int>(boards_.size()) == options_.boards;
}

const Device* Fixture::board(int number) const {
    if (number < 1 || number > static_cast<int>(boards_.size())) return nullptr;
    return boards_[static_cast<std::size_t>(number - 1)].get();
}

void Fixture::setLineRate(int baud) {
    if (baud <= 0) return;
    lineRate_ = baud;
    if (present_) current().setLineRate(baud);
    copyTranscript();
}

std::vector<Emission> Fixture::receive(std::span<const std::uint8_t> bytes, Micros now) {
    advance(now);
    if (!present_) {
        // Nobody answers; the line still brings the host's own bytes back.
        if (bytes.empty()) return {};
        const Micros arrived = std::max(now, hostLineFree_) +
                               (device_.lineTiming ? lineTime(bytes.size(), lineRate_) : Micros{0});
        hostLineFree_ = arrived;
        return {Emission{arrived, std::vector<std::uint8_t>(bytes.begin(), bytes.end())}};
    }
    const int endedBefore = current().sessionsEnded();
    std::vector<Emission> out = current().receive(bytes, now);
    copyTranscript();
    if (!out.empty()) hostLineFree_ = std::max(hostLineFree_, out.front().due);
    if (fixture() && current().sessionsEnded() > endedBefore) {
        // The go frame's acknowledgement is the last reply; the board goes a moment after it.
        Micros acknowledged = now;
        for (const Emission& emission : out) acknowledged = std::max(acknowledged, emission.due);
        const Micros leave = acknowledged + kRemovalMoment;
        takeOutAt_ = takeOutAt_ ? std::min(*takeOutAt_, leave) : leave;
    }
    return out;
}

void Fixture::lineOpened(Micros now) {
    advance(now);
    if (present_) current().lineOpened(now);
    copyTranscript();
}

void Fixture::lineClosed(Micros now) {
    advance(now);
    if (present_) current().lineClosed(now);
    copyTranscript();
}

int Fixture::sessionsEnded() const {
    int ended = 0;
    for (const auto& board : boards_) ended += board->sessionsEnded();
    return ended;
}

void Fixture::copyTranscript() {
    if (!fixture() || !present_) return;
    const auto& lines = current().transcript();
    transcript_.insert(transcript_.end(), lines.begin() + static_cast<std::ptrdiff_t>(copied_),
                       lines.end());
    copied_ = lines.size();
}

const std::vector<std::string>& Fixture::transcript() const {
    return fixture() ? transcript_ : boards_.front()->transcript();
}

std::vector<std::string> Fixture::violations() const {
    if (!fixture()) return boards_.front()->violations();
    std::vector<std::string> all;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        for (const std::string& violation : boards_[i]->violations()) {
            all.push_back("board " + std::to_string(i + 1) + ": " + violation);
        }
    }
    return all;
}

}  // namespace comflash::sim
