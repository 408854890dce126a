// The serial ports Windows knows of, read from the device manager (SetupAPI): each present
// device of the ports class with its COM name, the name the system shows for it, and what its
// instance id and those of its parents say of the USB adapter behind it.
#pragma once

#include <map>
#include <string>

#include "settings/port_identity.h"

namespace comflash::host {

// COM name ("COM5") to the port's identity; empty when the system lists no port (Wine lists
// none: its ports are links of its own).
std::map<std::string, settings::PortIdentity> windowsPortIdentities();

// Whether the system has a device called COM`number` now (open or not).
bool comPortPresent(int number);

// The COM dialog's tooltip for COM`number`: what the device manager says of it; empty when it
// says nothing.
std::string portToolTip(int number);

}  // namespace comflash::host
