// The adapters behind serial devices, read from a sysfs and a /dev laid out as Linux lays
// them out; the programs that hold a device, read from a /proc laid out likewise.
#include "host/usb_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/device_holders.h"
#include "sysfs_tree.h"
#include "temp_folder.h"

namespace comflash::host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFtdiById = "usb-FTDI_FT232R_USB_UART_A10K3X-if00-port0";

// Two FTDI adapters alike but for their serial numbers, an Arduino-like CDC-ACM board, a UART
// on the board and a ttyS the kernel keeps for a UART that is not there.
void buildPorts(test::SysfsTree& tree) {
    tree.addUsbSerial("ttyUSB0", "1-1", {"0403", "6001", "FTDI", "FT232R USB UART", "A10K3X"},
                      kFtdiById);
    tree.addUsbSerial("ttyUSB1", "1-2", {"0403", "6001", "FTDI", "FT232R USB UART", "B20M7Q"},
                      "usb-FTDI_FT232R_USB_UART_B20M7Q-if00-port0");
    tree.addAcm("ttyACM0", "1-3", {"2341", "0043", "Arduino (www.arduino.cc)", "Uno", "7573"},
                "usb-Arduino__www.arduino.cc__0043_7573-if00");
    tree.addUart("ttyS0", 4);
    tree.addUart("ttyS1", 0);
}

TEST(UsbIdentity, EachAdapterIsReadFromItsOwnUsbDevice) {
    test::TempFolder folder;
    test::SysfsTree tree(folder.path());
    buildPorts(tree);
    // The ports folder's link names the device by a path of its own.
    fs::create_symlink(tree.device("ttyUSB1"), folder.path() / "COM5");
    struct Case {
        std::string device;
        std::string identity;
        bool placeholder;
    };
    const std::vector<Case> cases{
        {tree.device("ttyUSB0"),
         "0403:6001 FTDI FT232R USB UART  serial A10K3X  " + tree.dev() + "/serial/by-id/" +
             kFtdiById,
         false},
        {(folder.path() / "COM5").string(),
         "0403:6001 FTDI FT232R USB UART  serial B20M7Q  " + tree.dev() +
             "/serial/by-id/usb-FTDI_FT232R_USB_UART_B20M7Q-if00-port0",
         false},
        {tree.device("ttyACM0"),
         "2341:0043 Arduino (www.arduino.cc) Uno  serial 7573  " + tree.dev() +
             "/serial/by-id/usb-Arduino__www.arduino.cc__0043_7573-if00",
         false},
        {tree.device("ttyS0"), "", false},
        {tree.device("ttyS1"), "", true},
        {tree.device("ttyUSB9"), "", false},  // not there
    };
    const UsbIdentities identities(tree.sys(), tree.dev());
    for (const Case& c : cases) {
        EXPECT_EQ(settings::identityText(identities.of(c.device)), c.identity) << c.device;
        EXPECT_EQ(identities.placeholder(c.device), c.placeholder) << c.device;
    }
    EXPECT_EQ(portToolTip(tree.device("ttyUSB0"), identities),
              tree.device("ttyUSB0") + "  " + cases[0].identity);
    EXPECT_EQ(portToolTip(tree.device("ttyS0"), identities), tree.device("ttyS0"));
}

TEST(DeviceHolders, TheProcessesWithTheDeviceOpenAreNamed) {
    test::TempFolder folder;
    const fs::path proc = folder.path() / "proc";
    const fs::path dev = folder.path() / "dev";
    fs::create_directories(dev);
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB2"}) std::ofstream(dev / name) << "";
    const auto process = [&](const std::string& pid, const std::string& name,
                             const std::vector<std::string>& open) {
        fs::create_directories(proc / pid / "fd");
        std::ofstream(proc / pid / "comm") << name << '\n';
        for (std::size_t fd = 0; fd < open.size(); ++fd) {
            fs::create_symlink(open[fd], proc / pid / "fd" / std::to_string(fd));
        }
    };
    process("1234", "minicom", {"/dev/null", (dev / "ttyUSB0").string()});
    process("88", "screen", {(dev / "ttyUSB1").string()});
    process("99", "picocom", {(dev / "ttyUSB1").string()});
    fs::create_directory_symlink("1234", proc / "self");  // not a process of its own
    fs::create_symlink(dev / "ttyUSB0", folder.path() / "COM1");
    struct Case {
        std::string device;
        std::string holders;
    };
    const std::vector<Case> cases{
        {(dev / "ttyUSB0").string(), "held by minicom (pid 1234)"},
        {(folder.path() / "COM1").string(), "held by minicom (pid 1234)"},
        {(dev / "ttyUSB1").string(), "held by picocom (pid 99) and screen (pid 88)"},
        {(dev / "ttyUSB2").string(), ""},
        {(dev / "ttyUSB3").string(), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(deviceHolders(c.device, proc.string()), c.holders) << c.device;
    }
}

}  // namespace
}  // namespace comflash::host
