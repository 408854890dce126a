#include "image/firmware_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace comflash::image {
namespace {

std::optional<int> widened(std::optional<std::uint8_t> piece) {
    return piece ? std::optional<int>(*piece) : std::nullopt;
}

TEST(FirmwareVersion, ComesFromTheTwoPiecesAfterTheNamesLastUnderscore) {
    struct Case {
        std::string path;
        std::optional<int> major, minor;
    };
    const std::vector<Case> cases = {
        {"/p/TempFile_1.03.hex", 1, 3},
        {"/p/fw_2.10.hex", 2, 10},
        {"/p/my_fw_1.2.hex", 1, 2},
        {"/p/firmware.hex", std::nullopt, std::nullopt},
        {"/p/fw_1.hex", 1, std::nullopt},
        {"/p/fw_0007.000.hex", 7, 0},
        {"/p/fw_255.256.hex", 255, std::nullopt},
        {"/p/fw_99999999999999999999.1.hex", std::nullopt, 1},
        {"/p/fw_.5.hex", std::nullopt, 5},
        // Pieces convert as numbers do at start-up: blanks around them, a sign, &H.
        {"/p/fw_-1.+2.hex", std::nullopt, 2},
        {"/p/fw_ 1.2 .hex", 1, 2},
        {"/p/fw_&H10.x.hex", 16, std::nullopt},
        // The folder's name is not part of the file name.
        {"/dir_9.9/fw.hex", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const FirmwareVersion version = VersionFromPath(c.path);
        EXPECT_EQ(widened(version.major), c.major);
        EXPECT_EQ(widened(version.minor), c.minor);
    }
}

}  // namespace
}  // namespace comflash::image
