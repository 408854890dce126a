// What tells one serial port from another beyond its COM name: the USB adapter behind it
// (vendor and product ids, its maker's and product's names, its serial number) and the names
// the system gives it that do not change when ports are numbered anew.
#pragma once

#include <string>
#include <string_view>

namespace comflash::settings {

struct PortIdentity {
    std::string vendorId;      // four hex digits in lower case ("0403"); empty when not USB
    std::string productId;     // four hex digits in lower case ("6001")
    std::string manufacturer;  // "FTDI"
    std::string product;       // "FT232R USB UART"
    std::string serial;        // the adapter's serial number ("A10K3X")
    std::string stableName;    // Linux: the /dev/serial/by-id/... link that leads to the device
    std::string friendlyName;  // Windows: the name the system shows ("USB Serial Port (COM5)")

    bool empty() const {
        return vendorId.empty() && productId.empty() && manufacturer.empty() && product.empty() &&
               serial.empty() && stableName.empty() && friendlyName.empty();
    }
};

// The identity in one line, each known part once: "0403:6001 FTDI FT232R USB UART  serial
// A10K3X  /dev/serial/by-id/usb-FTDI_...", after the system's friendly name where it gives
// one. Empty when nothing is known.
std::string identityText(const PortIdentity& identity);

// What a Windows device instance id says of a USB adapter: "USB\VID_0403&PID_6001\A10K3X"
// gives the vendor, the product and the serial number; "FTDIBUS\VID_0403+PID_6001+A10K3XA\0000"
// the same through FTDI's own bus. An id the system made up itself (one with "&" in its last
// part, given to an adapter without a serial number) gives no serial number. Ids of other
// buses give nothing.
PortIdentity parseInstanceId(std::string_view instanceId);

}  // namespace comflash::settings
