#include "cli/port_argument.h"

#include <gtest/gtest.h>

#include <vector>

namespace comflash::cli {
namespace {

TEST(PortArgument, ComNamesAndDevicePaths) {
    struct Case {
        const char* text;
        int number;  // 0: no port
        const char* device;
    };
    const std::vector<Case> cases{
        {"COM1", 1, ""},         {"com12", 12, ""},
        {"Com32767", 32767, ""}, {"/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
        {"./tty", 1, "./tty"},   {"COM0", 0, ""},
        {"COM32768", 0, ""},     {"COM", 0, ""},
        {"COM1x", 0, ""},        {"COM+1", 0, ""},
        {"COM-1", 0, ""},        {"COM 1", 0, ""},
        {"ttyUSB0", 0, ""},      {"", 0, ""},
    };
    for (const auto& c : cases) {
        const PortArgument port = parsePortArgument(c.text);
        EXPECT_EQ(port.number, c.number) << c.text;
        EXPECT_EQ(port.device, c.device) << c.text;
        EXPECT_EQ(port.failure.empty(), c.number != 0) << c.text << ": " << port.failure;
    }
    // Where the system opens no device by path, none is offered.
    EXPECT_EQ(parsePortArgument("CMO3", false).failure,
              "\"CMO3\" is no port: give COM1 to COM32767");
    EXPECT_NE(parsePortArgument("CMO3").failure.find("/dev/ttyUSB0"), std::string::npos);
}

}  // namespace
}  // namespace comflash::cli
