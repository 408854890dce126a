#include "ui/headless/virtual_clock.h"

#include <algorithm>

namespace comflash::ui::headless {

VirtualClock::EventId VirtualClock::schedule(Micros due, std::function<void()> event) {
    const EventId id = nextId_++;
    events_.emplace(Key{due, id}, std::move(event));
    dueOf_.emplace(id, due);
    return id;
}

void VirtualClock::cancel(EventId id) {
    const auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    events_.erase(Key{it->second, id});
    dueOf_.erase(it);
}

bool VirtualClock::runNext() {
    if (events_.empty()) return false;
    auto node = events_.extract(events_.begin());
    dueOf_.erase(node.key().id);
    now_ = std::max(now_, node.key().due);
    node.mapped()();
    return true;
}

void VirtualClock::advance(Micros duration) {
    const Micros until = now_ + duration;
    while (!events_.empty() && events_.begin()->first.due <= until) runNext();
    now_ = std::max(now_, until);
}

std::optional<Micros> VirtualClock::nextDue() const {
    if (events_.empty()) return std::nullopt;
    return events_.begin()->first.due;
}

}  // namespace comflash::ui::headless
