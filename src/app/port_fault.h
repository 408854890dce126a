// Why a serial port could not be opened, or failed while open: what the port's control knows,
// carried to whoever reports it (the session's result, the command line's explanation).
#pragma once

#include <string>

namespace comflash {

struct PortFault {
    enum class Kind {
        None,      // the port opened and has not failed since
        NoDevice,  // the port's number stands for no device at all
        NotFound,  // the device does not exist (unplugged, a stale link)
        Denied,    // the device refused us: busy with another program, or not ours to open
        Other,     // anything else: a failed write, a device that went away
    };
    Kind kind = Kind::None;
    std::string device;  // the device the port stands for, where known
    std::string reason;  // the operating system's words, where it gave any
};

}  // namespace comflash
