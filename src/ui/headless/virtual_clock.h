// Virtual time for the headless toolkit: events are scheduled at a time and run only when a
// test lets time pass. Nothing here reads a real clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace comflash::ui::headless {

using Micros = std::chrono::microseconds;

class VirtualClock {
  public:
    using EventId = std::uint64_t;

    Micros now() const { return now_; }

    // Runs `event` at `due` (at once if due is not later than now, but only when the clock
    // runs events). Events due at the same time run in the order they were scheduled.
    EventId schedule(Micros due, std::function<void()> event);
    // Cancelling an event that already ran, or was cancelled, does nothing.
    void cancel(EventId id);

    // Runs the earliest pending event, moving now forward to its due time (never back).
    // False when nothing is pending.
    bool runNext();
    // Runs every event due up to now + duration, then sets now to that time.
    void advance(Micros duration);
    // Moves now forward without running anything: the user-interface thread is blocked.
    void skip(Micros duration) { now_ += duration; }

    std::optional<Micros> nextDue() const;
    bool idle() const { return events_.empty(); }

  private:
    struct Key {
        Micros due;
        EventId id;
        bool operator<(const Key& other) const {
            return std::pair(due, id) < std::pair(other.due, other.id);
        }
    };

    Micros now_{0};
    EventId nextId_ = 1;
    std::map<Key, std::function<void()>> events_;
    std::map<EventId, Micros> dueOf_;
};

}  // namespace comflash::ui::headless
