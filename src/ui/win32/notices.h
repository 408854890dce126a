// Notices to the thread that runs a loop, the message window's or the command line's own:
// receivers are added and removed on that thread; a notice may be posted from any thread and
// reaches its receiver there, later and in the order posted, or no one once the receiver is
// removed.
#pragma once

#include <windows.h>

#include <functional>

namespace comflash::ui::win32 {

class Notices {
  public:
    using Receiver = std::function<void(LPARAM)>;

    // A fresh number under which `receiver` gets the notices posted with post(number, ...).
    virtual UINT_PTR add(Receiver receiver) = 0;
    // No notice for `number` reaches anyone any more, even one posted before.
    virtual void remove(UINT_PTR number) = 0;
    // May be called from any thread.
    virtual void post(UINT_PTR number, LPARAM value) const = 0;

  protected:
    ~Notices() = default;
};

}  // namespace comflash::ui::win32
