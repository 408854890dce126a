// One line that tells the user why a serial port could not be used, in the operating
// system's words, with the usual remedy where there is one. The session itself only says
// "Please reselect COM port!".
#pragma once

#include <optional>
#include <string>

#include "app/port_fault.h"

namespace comflash::host {

// `port` is what the user named (COM3, or a device path); `portsFolder` is where COM names
// are linked to devices (may be empty). Empty when the port never failed. Looks at the device
// to tell a port the user may not open from one that another program holds.
std::string describePortFailure(const PortFault& failure, const std::string& port,
                                const std::string& portsFolder);

// The same, given what the system says about the device: deniedGroup is set when the user
// may not open it, and then names the group that owns it (empty when unknown).
std::string portFailureLine(const PortFault& failure, const std::string& port,
                            const std::string& portsFolder,
                            const std::optional<std::string>& deniedGroup);

}  // namespace comflash::host
