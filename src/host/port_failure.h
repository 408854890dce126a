// One line that tells the user why a serial port could not be used, in the operating
// system's words, with what would help where something would. The session itself only says
// "Please reselect COM port!".
#pragma once

#include <optional>
#include <string>

#include "app/port_fault.h"

namespace comflash::host {

// Who may open a device: its owner, its group and its permission bits.
struct DeviceAccess {
    std::string owner;
    std::string group;
    bool groupIsRoot = false;
    unsigned mode = 0;  // the permission bits, 0777 at most
};

// What the system says of a device the user may not read and write; none when the user may
// (a refusal then came from another program holding the port).
std::optional<DeviceAccess> deniedAccess(const std::string& device);

// `port` is what the user named (COM3, or a device path); `portsFolder` is where COM names
// are linked to devices (may be empty). Empty when the port never failed. Looks at the device
// to tell a port the user may not open from one that another program holds, and at the
// processes (in `procRoot`, standing for /proc) to tell which program holds it.
std::string describePortFailure(const PortFault& failure, const std::string& port,
                                const std::string& portsFolder,
                                const std::string& procRoot = "/proc");

// The same, given what the system says about the device: `denied` is set when the user may
// not open it; `holders` names the programs that hold a busy one ("held by minicom (pid
// 1234)"), empty when none is known.
std::string portFailureLine(const PortFault& failure, const std::string& port,
                            const std::string& portsFolder,
                            const std::optional<DeviceAccess>& denied,
                            const std::string& holders = {});

// "Permission denied; only user root may open it (mode 0600): ..." for a device the user may
// not open: who may, and what would let the user.
std::string deniedText(const DeviceAccess& access);

}  // namespace comflash::host
