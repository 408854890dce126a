#include "host/win32_loop.h"

#include <algorithm>
#include <stdexcept>

namespace comflash::host {

Win32Loop& Win32Loop::instance() {
    static Win32Loop loop;
    return loop;
}

Win32Loop::Win32Loop() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (wake_ == nullptr) throw std::runtime_error("cannot make the loop's event");
}

UINT_PTR Win32Loop::add(Receiver receiver) {
    const UINT_PTR number = next_++;
    receivers_.emplace(number, std::move(receiver));
    return number;
}

void Win32Loop::remove(UINT_PTR number) {
    timers_.erase(number);
    receivers_.erase(number);
}

void Win32Loop::post(UINT_PTR number, LPARAM value) const {
    {
        const std::lock_guard lock(mutex_);
        posted_.emplace_back(number, value);
    }
    SetEvent(wake_);
}

void Win32Loop::startTimer(UINT_PTR number, int milliseconds) {
    timers_[number] = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
}

void Win32Loop::stopTimer(UINT_PTR number) {
    timers_.erase(number);
}

Win32Loop::Timers::iterator Win32Loop::nextTimer() {
    return std::ranges::min_element(
        timers_, [](const auto& a, const auto& b) { return a.second < b.second; });
}

// The receiver is copied first: it may remove itself.
bool Win32Loop::deliverOne() {
    std::optional<std::pair<UINT_PTR, LPARAM>> notice;
    {
        const std::lock_guard lock(mutex_);
        if (!posted_.empty()) {
            notice = posted_.front();
            posted_.pop_front();
        }
    }
    if (!notice) {
        const auto due = nextTimer();
        if (due == timers_.end() || due->second > Clock::now()) return false;
        notice.emplace(due->first, 0);
        timers_.erase(due);
    }
    if (const auto found = receivers_.find(notice->first); found != receivers_.end()) {
        const Receiver receiver = found->second;
        receiver(notice->second);
    }
    return true;
}

// The wait ends with a notice posted, a port's read (its completion runs inside the wait) or
// the next timer's moment, rounded up to the millisecond: a timer never fires early.
bool Win32Loop::runUntil(const std::function<bool()>& done) {
    while (!done()) {
        if (deliverOne()) continue;
        DWORD wait = INFINITE;
        if (const auto next = nextTimer(); next != timers_.end()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(next->second - Clock::now());
            wait = static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        if (WaitForSingleObjectEx(wake_, wait, TRUE) == WAIT_FAILED) return false;
    }
    return true;
}

Win32LoopTimer::Win32LoopTimer(Win32Loop& loop)
    : loop_(loop), number_(loop.add([this](LPARAM) {
          if (onExpired) onExpired();
      })) {}

Win32LoopTimer::~Win32LoopTimer() {
    loop_.remove(number_);
}

}  // namespace comflash::host
