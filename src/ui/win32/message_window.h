// The hidden message-only window of the user-interface thread. Timer ticks and the serial
// controls' notices arrive there as window messages, so that every message loop delivers
// them: the main loop, a modal window's and a message box's own.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "ui/win32/notices.h"

namespace comflash::ui::win32 {

class MessageWindow final : public Notices {
  public:
    // The thread's one instance, made at first use on the user-interface thread.
    static MessageWindow& instance();

    HWND handle() const { return window_; }

    UINT_PTR add(Receiver receiver) override;
    void remove(UINT_PTR number) override;
    void post(UINT_PTR number, LPARAM value) const override;

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
