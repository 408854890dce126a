#include "ui/qt/qt_comm.h"

namespace comflash::ui::qt {

QtComm::QtComm(PortDevice portDevice)
    : QtComm(std::make_unique<QtSerialPort>(std::move(portDevice))) {}

QtComm::QtComm(std::unique_ptr<QtSerialPort> serial)
    : PortControl(std::move(serial)), serial_(static_cast<QtSerialPort&>(port())) {}

}  // namespace comflash::ui::qt
