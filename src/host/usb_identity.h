// The USB adapter behind a serial device on Linux, read from sysfs: a tty's "device" link
// leads into the USB device's folder (a ttyUSB's port two levels below it, a ttyACM's
// interface one level below), which holds idVendor, idProduct, manufacturer, product and
// serial. The stable name is the /dev/serial/by-id link that leads to the device.
#pragma once

#include <map>
#include <string>

#include "settings/port_identity.h"

namespace comflash::host {

class UsbIdentities {
  public:
    // `sysRoot` and `devRoot` stand for /sys and /dev. The by-id links are read once, here.
    explicit UsbIdentities(std::string sysRoot = "/sys", std::string devRoot = "/dev");

    // The identity of `device` (a path, or a link to one, as the ports folder has it); empty
    // for a device that is no USB adapter (ttyS0, a pseudo-terminal) or not there.
    settings::PortIdentity of(const std::string& device) const;

    // A serial port the kernel keeps for a UART that is not there (most ttyS devices): its
    // type is 0, unknown. Such a device exists but no adapter stands behind it.
    bool placeholder(const std::string& device) const;

  private:
    std::string sysRoot_;
    std::map<std::string, std::string> byId_;  // the device a link leads to, to the link
};

// The COM dialog's tooltip for `device`: the device, then its identity where it has one.
std::string portToolTip(const std::string& device, const UsbIdentities& identities);

}  // namespace comflash::host
