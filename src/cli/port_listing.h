// Ports as the command line shows them, and the ports a user names by what tells them apart
// (a USB adapter's serial number) rather than by a COM name that may change when the adapters
// are plugged in anew.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/host.h"

namespace comflash::cli {

// One line of the ports listing: the COM name, the device as before ("link -> device"), then
// the identity, two spaces apart: "COM3  /dev/ttyUSB0  0403:6001 FTDI FT232R USB UART  serial
// A10K3X  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X-if00-port0".
std::string portLine(const PortDescription& port);

// "COM3 (/dev/ttyUSB0)", or "COM3" where the system has no device path.
std::string portShortName(const PortDescription& port);

// A --port text that names a port by its identity: "serial:" and a serial number, or any text
// that is neither COMn nor a path (no "/"), matched against serial numbers and the names of
// the /dev/serial/by-id links.
bool namesIdentity(std::string_view text);

struct IdentityLookup {
    std::string port;     // COMn, or the stable by-id path of the port found
    std::string failure;  // set when no port, or more than one, has that identity
};

// The one port among `present` that `text` names by its identity.
IdentityLookup lookUpIdentity(std::string_view text, const std::vector<PortDescription>& present);

// Each of `names` that names an identity replaced by its port; the ports present are asked
// for only if one does. Empty, or why a name cannot be used.
std::string resolveIdentities(std::vector<std::string>& names,
                              const std::function<std::vector<PortDescription>()>& present);

// The names among `candidates` nearest to `named` (letters transposed, added, left out or
// changed count one each; letter case is ignored); none when even the nearest differs in more
// than a third of its letters.
std::vector<std::string> nearestNames(std::string_view named,
                                      const std::vector<std::string>& candidates);

// The failure `line` of a port `named` that is not there, followed by the ports that are and
// the nearest name ("COM12?").
std::string withMissingPortAdvice(const std::string& line, std::string_view named,
                                  const std::vector<PortDescription>& present);

}  // namespace comflash::cli
