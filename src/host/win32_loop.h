// The command line's loop on Windows: notices and one-shot timers on the thread that runs it,
// and alertable waits, in which the ports' reads end (Win32SerialPort::Reading::Loop). No
// window and no message queue: the program needs nothing of the windowing system, which is a
// cost of its own at every start (under Wine, a desktop process started for it).
#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "driver/serial_port.h"
#include "ui/win32/notices.h"

namespace comflash::host {

class Win32Loop final : public ui::win32::Notices {
  public:
    using Clock = std::chrono::steady_clock;

    // The one loop, of the thread that first asks for it.
    static Win32Loop& instance();

    UINT_PTR add(Receiver receiver) override;
    // Stops its timer as well.
    void remove(UINT_PTR number) override;
    void post(UINT_PTR number, LPARAM value) const override;

    // `number`'s receiver runs once, `milliseconds` from now; starting again moves that moment.
    void startTimer(UINT_PTR number, int milliseconds);
    void stopTimer(UINT_PTR number);

    // Delivers notices and due timers, one at a time and `done` asked before each, and waits
    // alertably between them; false if the wait failed.
    bool runUntil(const std::function<bool()>& done);

  private:
    Win32Loop();
    using Timers = std::map<UINT_PTR, Clock::time_point>;

    // Delivers one posted notice, else one due timer; false when there was neither.
    bool deliverOne();
    // The timer due first, if any runs.
    Timers::iterator nextTimer();

    HANDLE wake_ = nullptr;  // set when a notice is posted
    UINT_PTR next_ = 1;
    std::map<UINT_PTR, Receiver> receivers_;
    Timers timers_;
    mutable std::mutex mutex_;
    mutable std::deque<std::pair<UINT_PTR, LPARAM>> posted_;
};

// A driver timer on the loop.
class Win32LoopTimer final : public driver::Timer {
  public:
    explicit Win32LoopTimer(Win32Loop& loop);
    ~Win32LoopTimer() override;
    Win32LoopTimer(const Win32LoopTimer&) = delete;
    Win32LoopTimer& operator=(const Win32LoopTimer&) = delete;
    void start(int milliseconds) override { loop_.startTimer(number_, milliseconds); }
    void stop() override { loop_.stopTimer(number_); }

  private:
    Win32Loop& loop_;
    UINT_PTR number_;
};

}  // namespace comflash::host
