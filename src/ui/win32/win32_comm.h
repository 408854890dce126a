// The windows' serial control over a Win32 serial port (see Win32SerialPort), read by a thread
// of its own so that bytes keep arriving inside a message box's loop: the receive event
// whenever bytes arrive and at least RThreshold are held, the failure event once when the
// open port fails.
#pragma once

#include <memory>
#include <string>

#include "ui/port_control.h"
#include "ui/win32/control_adapter.h"
#include "ui/win32/win32_serial_port.h"

namespace comflash::ui::win32 {

class Win32Comm final : public PortControl, public ControlAdapter {
  public:
    Win32Comm();

    // Why the port last failed to open, or failed while open; empty after a good opening.
    std::string failureReason() const { return serial_.fault().reason; }

    void load() override { reset(); }
    void unload() override { port().close(); }

    static std::wstring deviceName(int number) { return Win32SerialPort::deviceName(number); }

  private:
    explicit Win32Comm(std::unique_ptr<Win32SerialPort> serial);

    Win32SerialPort& serial_;
};

}  // namespace comflash::ui::win32
