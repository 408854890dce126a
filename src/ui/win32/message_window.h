// The hidden message-only window of the user-interface thread. Timer ticks and the serial
// controls' notices arrive there as window messages, so that every message loop delivers
// them: the main loop, a modal window's and a message box's own.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

namespace comflash::ui::win32 {

class MessageWindow {
  public:
    using Receiver = std::function<void(LPARAM)>;

    // The thread's one instance, made at first use on the user-interface thread.
    static MessageWindow& instance();

    HWND handle() const { return window_; }

    // A fresh number under which `receiver` gets the messages posted with post(number, ...).
    UINT_PTR add(Receiver receiver);
    // No message for `number` reaches anyone any more, even one posted before.
    void remove(UINT_PTR number);
    // May be called from any thread.
    void post(UINT_PTR number, LPARAM value) const;

    // Ticks of `number` after `milliseconds` (from now, again and again) until stopped.
    void startTimer(UINT_PTR number, int milliseconds) const;
    void stopTimer(UINT_PTR number) const;

  private:
    MessageWindow();
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void deliver(UINT_PTR number, LPARAM value);

    HWND window_ = nullptr;
    UINT_PTR next_ = 1;
    std::map<UINT_PTR, Receiver> receivers_;
};

}  // namespace comflash::ui::win32
