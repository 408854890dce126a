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
        std::optional<DeviceAccess> denied;
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
        {"not the user's: a group of users may",
         {E::Denied, "/dev/ttyUSB0", "Permission denied"},
         DeviceAccess{"root", "dialout", false, 0660},
         "/dev/ttyUSB0: Permission denied; only user root and the group dialout may open it "
         "(mode 0660, owner root, group dialout): join the group with sudo usermod -aG dialout "
         "\"$USER\" and log in again"},
        {"only its owner may, whatever the group",
         {E::Denied, "/dev/ttyUSB0", "Permission denied"},
         DeviceAccess{"root", "dialout", false, 0600},
         "/dev/ttyUSB0: Permission denied; only user root may open it (mode 0600, owner root, "
         "group dialout): an administrator, or a udev rule that gives the device a group of "
         "users with read and write access (GROUP=\"dialout\", MODE=\"0660\"), can let you"},
        {"root's group: no advice to join it",
         {E::Denied, "/dev/ttyS0", "Permission denied"},
         DeviceAccess{"root", "root", true, 0660},
         "/dev/ttyS0: Permission denied; only user root and the group root may open it (mode "
         "0660, owner root, group root): an administrator, or a udev rule that gives the device "
         "a group of users with read and write access (GROUP=\"dialout\", MODE=\"0660\"), can "
         "let you; joining the group root is no remedy"},
        {"not the user's, nothing more known",
         {E::Denied, "/dev/ttyUSB0", "Permission denied"},
         DeviceAccess{},
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
        EXPECT_EQ(portFailureLine(c.failure, "COM70", "/cfg/ports", c.denied), c.line) << c.name;
    }
    EXPECT_EQ(portFailureLine({E::NotFound, "", ""}, "COM70", "", std::nullopt),
              "COM70 stands for no device.")
        << "no ports folder";
    EXPECT_EQ(
        portFailureLine({E::Denied, "/dev/ttyUSB0", "Permission error while locking the device"},
                        "COM70", "", std::nullopt, "held by minicom (pid 1234)"),
        "/dev/ttyUSB0: busy, another program has the port open (Permission error while "
        "locking the device); held by minicom (pid 1234)")
        << "the program that holds it, where the system tells";
}

}  // namespace
}  // namespace comflash::host
