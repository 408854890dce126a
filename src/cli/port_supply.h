// Where the runs of the command line get their serial ports and timers: the host's in the
// program, the headless twin's in tests.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "driver/serial_port.h"

namespace comflash::cli {

struct PortSupply {
    // A port of its own over the device of the i-th port named.
    std::function<std::unique_ptr<driver::SerialPort>(std::size_t i)> port;
    std::function<std::unique_ptr<driver::Timer>()> timer;
};

}  // namespace comflash::cli
