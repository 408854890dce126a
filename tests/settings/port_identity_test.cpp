// What Windows device instance ids say of the USB adapter behind a port.
#include "settings/port_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::settings {
namespace {

TEST(PortIdentity, InstanceIdsGiveVendorProductAndSerialNumber) {
    struct Case {
        const char* id;
        const char* vendor;
        const char* product;
        const char* serial;
    };
    const std::vector<Case> cases{
        {"USB\\VID_0403&PID_6001\\A10K3X", "0403", "6001", "A10K3X"},
        {"usb\\vid_10c4&pid_ea60\\0001", "10c4", "ea60", "0001"},
        // No serial number: the system makes up an id with "&" in it.
        {"USB\\VID_1A86&PID_7523\\5&2F5C4A1B&0&2", "1a86", "7523", ""},
        // An interface of a composite device: its id names no serial number.
        {"USB\\VID_2341&PID_0043&MI_00\\6&2A3B4C5D&0&0000", "2341", "0043", ""},
        // FTDI's own bus adds a channel letter to the serial number.
        {"FTDIBUS\\VID_0403+PID_6001+A10K3XA\\0000", "0403", "6001", ""},
        {"ACPI\\PNP0501\\1", "", "", ""},
        {"USB\\VID_04G3&PID_6001\\A1", "", "6001", "A1"},
        {"USB\\ROOT_HUB30\\4&1234&0&0", "", "", ""},
        {"", "", "", ""},
        {"USB", "", "", ""},
    };
    for (const Case& c : cases) {
        const PortIdentity identity = parseInstanceId(c.id);
        EXPECT_EQ(identity.vendorId, c.vendor) << c.id;
        EXPECT_EQ(identity.productId, c.product) << c.id;
        EXPECT_EQ(identity.serial, c.serial) << c.id;
    }
    EXPECT_EQ(identityText(parseInstanceId("USB\\VID_04G3&PID_6001\\A1")), "????:6001  serial A1");
    EXPECT_EQ(identityText({}), "");
}

}  // namespace
}  // namespace comflash::settings
