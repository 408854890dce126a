// A fixture on a production line: one serial line on which boards are put in, flashed and
// taken out, one after another. Like the device it does no I/O and reads no clock: bytes and
// the time go in, what the line sends back comes out, and `advance` lets time pass.
//
// The fixture's rules:
// - Board 1 is in from the start. A board is taken out kRemovalMoment after the host's go
//   frame was acknowledged (its application runs: the operator sees it and takes it out).
// - A board that is not flashed stays in place: the operator leaves a failed board in the
//   fixture until it is looked at. With a stay time, it is taken out that long after it was put
//   in, flashed or not, so that a failed board does not hold up the line for ever.
// - Then the fixture is empty for the gap: the line still echoes the host's bytes (the echo is
//   the line's, not the board's), but nothing answers. With `unplug`, the line itself is gone
//   while the fixture is empty, as when the serial adapter sits on the board.
// - Then the next board is put in: a fresh device in its bootloader, with the initial memory
//   (erased unless a memory file was given) and faults of its own.
// - Once the last board has been taken out, the fixture is done.
// With no boards given, one board stays in for good: the device on a bench.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/device.h"

namespace comflash::sim {

struct FixtureOptions {
    int boards = 0;                   // 0: one board that is never taken out
    Micros gap{1'000'000};            // how long the fixture stays empty between boards
    Micros stay{0};                   // 0: a board that was not flashed is never taken out
    bool unplug = false;              // while no board is in, the line is gone
    std::map<int, FaultPlan> faults;  // faults of one board only, by board number from 1
};

class Fixture : public LineEnd {
  public:
    // How long after the go frame's acknowledgement a flashed board is taken out.
    static constexpr Micros kRemovalMoment{500'000};

    // `device` describes every board; a board's own faults come before the common ones.
    Fixture(DeviceOptions device, FixtureOptions options);

    void setLineRate(int baud) override;
    // Lets time pass up to `now` first, so a board that is taken out at `now` gets nothing.
    std::vector<Emission> receive(std::span<const std::uint8_t> bytes, Micros now) override;
    void lineOpened(Micros now) override;
    void lineClosed(Micros now) override;

    // Takes boards out and puts boards in as their times come, up to `now`.
    void advance(Micros now);
    // When `advance` next has something to do; none while nothing is pending.
    std::optional<Micros> nextChange() const;

    bool boardIn() const { return present_; }
    // True: the line is gone while no board is in.
    bool unplugs() const { return options_.unplug; }
    // Every board has been served and taken out (never with a board on a bench).
    bool done() const;
    int boardsPutIn() const { return static_cast<int>(boards_.size()); }
    // Board `number` (from 1) once it has been put in, else null.
    const Device* board(int number) const;
    int sessionsEnded() const;  // over all boards
    // One line per event of the fixture and of its boards, in order. In a fixture, violations
    // name their board.
    const std::vector<std::string>& transcript() const;
    std::vector<std::string> violations() const;

  private:
    void putIn(Micros at);
    void takeOut(Micros at);
    void copyTranscript();
    Device& current() { return *boards_.back(); }
    bool fixture() const { return options_.boards > 0; }

    DeviceOptions device_;
    FixtureOptions options_;
    std::vector<std::unique_ptr<Device>> boards_;
    bool present_ = false;
    std::optional<Micros> takeOutAt_;
    std::optional<Micros> putInAt_;
    std::size_t copied_ = 0;  // lines of the current board's transcript copied so far
    std::vector<std::string> transcript_;
    int lineRate_ = 9600;
    Micros hostLineFree_{0};  // the echo while no board is in: when the line is free again
};

}  // namespace comflash::sim
