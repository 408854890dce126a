#include "ui/win32/win32_comm.h"

#include "ui/win32/message_window.h"

namespace comflash::ui::win32 {

Win32Comm::Win32Comm()
    : Win32Comm(std::make_unique<Win32SerialPort>(Win32SerialPort::Reading::Thread,
                                                  MessageWindow::instance())) {}

Win32Comm::Win32Comm(std::unique_ptr<Win32SerialPort> serial)
    : PortControl(std::move(serial)), serial_(static_cast<Win32SerialPort&>(port())) {}

}  // namespace comflash::ui::win32
