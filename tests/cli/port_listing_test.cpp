// Ports as the listing shows them, a port named by its adapter's serial number, and the
// nearest names offered for a port that is not there.
#include "cli/port_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::cli {
namespace {

constexpr const char* kById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_";

PortDescription ftdi(int number, const std::string& device, const std::string& serial) {
    PortDescription port{number, device, {}, {}};
    port.identity = {
        "0403", "6001", "FTDI", "FT232R USB UART", serial, kById + serial + "-if00-port0", ""};
    return port;
}

// Two adapters alike but for their serial numbers, the first also reached through a link in
// the ports folder, and a UART on the board.
const std::vector<PortDescription> kPresent{
    ftdi(1, "/dev/ttyUSB0", "A10K3X"),
    ftdi(2, "/dev/ttyUSB1", "B20M7Q"),
    {5, "/cfg/ports/COM5", "/dev/ttyUSB0", ftdi(5, "", "A10K3X").identity},
    {33, "/dev/ttyS0", "", {}},
};

TEST(PortListing, OneLinePerPortComNameAndDeviceFirst) {
    PortDescription windows{
        5, "", "", {"0403", "6001", "", "", "A10K3X", "", "USB Serial Port (COM5)"}};
    struct Case {
        PortDescription port;
        std::string line;
    };
    const std::vector<Case> cases{
        {kPresent[0],
         std::string("COM1  /dev/ttyUSB0  0403:6001 FTDI FT232R USB UART  serial A10K3X  ") +
             kById + "A10K3X-if00-port0"},
        {kPresent[3], "COM33  /dev/ttyS0"},
        {{1, "/cfg/ports/COM1", "/dev/pts/3", {}}, "COM1  /cfg/ports/COM1 -> /dev/pts/3"},
        {windows, "COM5  USB Serial Port (COM5)  0403:6001  serial A10K3X"},
        {{7, "", "", {}}, "COM7"},
    };
    for (const Case& c : cases) EXPECT_EQ(portLine(c.port), c.line);
}

TEST(PortListing, APortNamedByItsSerialNumberOrByIdName) {
    struct Case {
        const char* text;
        std::string port;     // empty: refused
        std::string failure;  // a part of the refusal
    };
    const std::vector<Case> cases{
        {"B20M7Q", std::string(kById) + "B20M7Q-if00-port0", ""},
        {"serial:B20M7Q", std::string(kById) + "B20M7Q-if00-port0", ""},
        {"usb-FTDI_FT232R_USB_UART_B20M7Q-if00-port0", std::string(kById) + "B20M7Q-if00-port0",
         ""},
        // COM1 and COM5 lead to one device: one port.
        {"A10K3X", std::string(kById) + "A10K3X-if00-port0", ""},
        {"B20M7R", "",
         "--port B20M7R: no port has that serial number or by-id name; the ports there are:\n"
         "  COM1  /dev/ttyUSB0  0403:6001"},
        {"B20M7R", "", "\n  COM33  /dev/ttyS0\nB20M7Q?"},
        {"ttyUSB1", "", "\n/dev/ttyUSB1?"},
        {"serial:", "", "no port has that serial number;"},
    };
    for (const Case& c : cases) {
        const IdentityLookup found = lookUpIdentity(c.text, kPresent);
        EXPECT_EQ(found.port, c.port) << c.text;
        EXPECT_NE(found.failure.find(c.failure), std::string::npos)
            << c.text << ": " << found.failure;
    }

    std::vector<PortDescription> twins = kPresent;
    twins[1].identity.serial = "A10K3X";
    EXPECT_EQ(lookUpIdentity("A10K3X", twins).failure,
              "--port A10K3X: 2 ports have that serial number or by-id name: COM1 (/dev/ttyUSB0) "
              "and COM2 (/dev/ttyUSB1); name one by its COM name or its device");
    EXPECT_EQ(lookUpIdentity("A10K3X", {}).failure,
              "--port A10K3X: no port has that serial number or by-id name, and no port is there");

    // COM names and paths are left as they are, and the ports are asked for only when needed.
    std::vector<std::string> names{"COM3", "/dev/ttyUSB7", "com4"};
    int asked = 0;
    const auto present = [&] {
        ++asked;
        return kPresent;
    };
    EXPECT_EQ(resolveIdentities(names, present), "");
    EXPECT_EQ(asked, 0);
    names = {"COM3", "serial:A10K3X"};
    EXPECT_EQ(resolveIdentities(names, present), "");
    EXPECT_EQ(names, (std::vector<std::string>{"COM3", std::string(kById) + "A10K3X-if00-port0"}));
    names = {"A10K3X", "X"};
    EXPECT_NE(resolveIdentities(names, present), "");
    EXPECT_EQ(asked, 2);
}

TEST(PortListing, TheNearestNamesOfAPortThatIsNotThere) {
    const std::vector<std::string> there{"COM1", "COM13", "COM3", "/dev/ttyUSB0", "/dev/ttyACM0"};
    struct Case {
        const char* named;
        std::vector<std::string> nearest;
    };
    const std::vector<Case> cases{
        {"COM12", {"COM1", "COM13"}},          // one left out, one changed
        {"COM31", {"COM1", "COM13", "COM3"}},  // one added; two swapped
        {"CMO3", {"COM3"}},
        {"COM42", {}},  // two changes in five letters: too far
        {"/dev/ttyUSB1", {"/dev/ttyUSB0"}},
        {"/dev/ttyAMC0", {"/dev/ttyACM0"}},
        {"LPT1", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(nearestNames(c.named, there), c.nearest) << c.named;

    EXPECT_EQ(
        withMissingPortAdvice("COM3: gone (is it plugged in?)", "COM3", kPresent),
        "COM3: gone (is it plugged in?). The ports there are: COM1 (/dev/ttyUSB0), COM2 "
        "(/dev/ttyUSB1), COM5 (/dev/ttyUSB0), COM33 (/dev/ttyS0). COM1, COM2, COM5 or COM33?");
    EXPECT_EQ(withMissingPortAdvice("COM3 stands for no device.", "COM3", {}),
              "COM3 stands for no device. No serial port is there at all.");
}

}  // namespace
}  // namespace comflash::cli
