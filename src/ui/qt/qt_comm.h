// The windows' serial control over a Qt serial port (see QtSerialPort): the receive event
// whenever bytes arrive and at least RThreshold are held, the failure event once when the
// open port fails. Why the port last failed is kept for a front end that can show more than
// the session's own message.
#pragma once

#include <functional>
#include <string>

#include "ui/port_control.h"
#include "ui/qt/control_adapter.h"
#include "ui/qt/qt_serial_port.h"

namespace comflash::ui::qt {

class QtComm final : public PortControl, public ControlAdapter {
  public:
    using PortDevice = QtSerialPort::PortDevice;

    explicit QtComm(PortDevice portDevice);

    // What the driver said to low latency at the last opening.
    LowLatency lowLatency() const { return serial_.lowLatency(); }

    void load() override { reset(); }
    void unload() override { port().close(); }

  private:
    QtComm(std::unique_ptr<QtSerialPort> serial);

    QtSerialPort& serial_;
};

}  // namespace comflash::ui::qt
