#include "host/port_failure.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace comflash::host {
namespace {

TEST(PortFailure, OneLineWithTheSystemsReasonAndTheRemedy) {
    struct Case {
        const char* name;
        PortFault failure;
        std::optional<std::string> deniedGroup;
        std::string line;
    };
    using E = PortFault::Kind;
    const std::vector<Case> cases{
        {"opened fine", {E::None, "/dev/ttyUSB0", ""}, std::nullopt, ""},
        {"no device for the number",
         {E::NotFound, "", ""},
         std::nullopt,
         "COM70 stands for no device: make /cfg/ports/COM70 a link to one."},
        {"missing device",
         {E::NotFound, "/dev/ttyUSB9", "No such file or directory"},
         std::nullopt,
         "/dev/ttyUSB9: No such file or directory (is the adapter plugged in? comflash-cli "
         "ports lists the ports that open)"},
        {"not the user's",
         {E::Denied, "/dev/ttyUSB0", "Permission denied"},
         "dialout",
         "/dev/ttyUSB0: Permission denied; the port belongs to the group dialout: join it with "
         "sudo usermod -aG dialout \"$USER\" and log in again"},
        {"not the user's, group unknown",
         {E::Denied, "/dev/ttyUSB0", "Permission denied"},
         "",
         "/dev/ttyUSB0: Permission denied"},
        {"held by another program",
         {E::Denied, "/dev/ttyUSB0", "Permission error while locking the device"},
         std::nullopt,
         "/dev/ttyUSB0: busy, another program has the port open (Permission error while locking "
         "the device)"},
        {"failed while open",
         {E::Other, "/dev/ttyUSB0", "Input/output error"},
         std::nullopt,
         "/dev/ttyUSB0: Input/output error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(portFailureLine(c.failure, "COM70", "/cfg/ports", c.deniedGroup), c.line)
            << c.name;
    }
    EXPECT_EQ(portFailureLine({E::NotFound, "", ""}, "COM70", "", std::nullopt),
              "COM70 stands for no device.")
        << "no ports folder";
}

}  // namespace
}  // namespace comflash::host
