#include "settings/com_port_names.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "temp_folder.h"

namespace comflash::settings {
namespace {

namespace fs = std::filesystem;

TEST(ComPortNames, PortsFolderFollowsTheUsersConfigurationFolder) {
    struct Case {
        const char* xdgConfigHome;
        const char* home;
        std::string folder;
    };
    const Case cases[] = {
        {"/cfg", "/home/u", "/cfg/comflash/ports"},
        {"relative/cfg", "/home/u", "/home/u/.config/comflash/ports"},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(portsFolderFor(c.xdgConfigHome, c.home), c.folder)
            << (c.xdgConfigHome ? c.xdgConfigHome : "(unset)");
    }
}

TEST(ComPortNames, WithoutAnEntryTheTableNamesTheDevice) {
    struct Case {
        int number;
        std::string device;
    };
    const Case cases[] = {
        {1, "/dev/ttyUSB0"},
        {16, "/dev/ttyUSB15"},
        {17, "/dev/ttyACM0"},
        {32, "/dev/ttyACM15"},
        {33, "/dev/ttyS0"},
        {64, "/dev/ttyS31"},
        {65, ""},
        {0, ""},
        {-1, ""},
        {INT_MIN, ""},
    };
    test::TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    for (const std::string& folder : {std::string(), temp.path().string()}) {
        for (const Case& c : cases) {
            EXPECT_EQ(comPortDevice(c.number, folder), c.device)
                << "COM" << c.number << " in '" << folder << "'";
        }
    }
}

TEST(ComPortNames, AnEntryInThePortsFolderWinsOverTheTable) {
    test::TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    const fs::path folder = temp.path();
    const auto link = [&](const std::string& name, const std::string& target) {
        fs::create_symlink(target, folder / name);
    };
    const auto file = [&](const std::string& name, const std::string& contents) {
        std::ofstream(folder / name, std::ios::binary) << contents;
    };
    link("COM1", "/dev/ttyUSB3");
    link("COM2", "/dev/comflash-not-there-yet");  // a simulated device not started yet
    file("COM3", "/dev/pts/7\n");
    file("COM4", "  /dev/ttyS4 \r\nsecond line\r\n");
    file("COM5", "\t/tmp/sim port\r");
    file("COM6", "");
    file("COM8", std::string(5000, 'a'));
    file("COM70", "/dev/pts/3");
    file("COM0", "/dev/pts/3");
    file("com9", "/dev/pts/3");

    struct Case {
        int number;
        std::string device;
    };
    const Case cases[] = {
        {1, (folder / "COM1").string()},  // the link itself, not where it points now
        {2, (folder / "COM2").string()},
        {3, "/dev/pts/7"},
        {4, "/dev/ttyS4"},
        {5, "/tmp/sim port"},
        {6, ""},  // an entry that names nothing hides the table's device too
        {8, ""},  // far too long for a device path
        {70, "/dev/pts/3"},
        {0, ""},
        {9, "/dev/ttyUSB8"},  // names are case-sensitive: com9 is not COM9's entry
    };
    for (const Case& c : cases) {
        EXPECT_EQ(comPortDevice(c.number, folder.string()), c.device) << "COM" << c.number;
    }
}

}  // namespace
}  // namespace comflash::settings
