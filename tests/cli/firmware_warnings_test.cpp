#include "cli/firmware_warnings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace comflash::cli {
namespace {

// The handshake carries the byte left from before for a piece the name does not give.
TEST(FirmwareText, ShowsTheVersionTheDeviceIsSent) {
    struct Case {
        const char* path;
        std::string text;
    };
    const std::vector<Case> cases{
        {"dir/fw_1.03.hex", "dir/fw_1.03.hex (version 1.3)"},
        {"fw_1.300.hex",
         "fw_1.300.hex (version 1.7; the name gives no minor version from 0 to 255, so the byte "
         "held from before is sent)"},
        {"firmware.hex",
         "firmware.hex (version 4.7; the name gives no major and minor versions from 0 to 255, "
         "so the byte held from before is sent)"},
    };
    const SentVersion held{4, 7};
    for (const Case& c : cases) {
        EXPECT_EQ(firmwareText(c.path, image::VersionFromPath(c.path), held), c.text);
    }
}

// The message drops leading zeros of each byte; the line after it does not.
TEST(FailureAddress, FullAddressOfTheUnpaddedOne) {
    session::Result failed;
    failed.outcome = session::Outcome::Failed;
    for (const auto& [address, line] :
         {std::pair{0x0905, "Full address: 0x0905"}, std::pair{0x9005, "Full address: 0x9005"},
          std::pair{0x0000, "Full address: 0x0000"}}) {
        failed.address = address;
        EXPECT_EQ(failureAddressLine(failed), line);
    }
    session::Result other;
    other.outcome = session::Outcome::OtherModel;
    EXPECT_EQ(failureAddressLine(other), "");
}

TEST(FirmwareWarnings, NameTheGapAndTheOverlap) {
    test::TempFolder folder;
    const std::string both = (folder.path() / "both.hex").string();
    // 0x0000-0x0003, then 0x0102-0x0103 over 0x0100-0x0103 with other bytes.
    std::ofstream(folder.path() / "both.hex", std::ios::binary) << ":0400000001020304F2\n"
                                                                   ":0401000001020304F1\n"
                                                                   ":020102000506F0\n";
    const auto firmware = image::ReadFirmwareFile(both);
    ASSERT_TRUE(std::holds_alternative<image::FirmwareFile>(firmware));
    EXPECT_EQ(
        firmwareWarnings(both, std::get<image::FirmwareFile>(firmware)),
        (std::vector<std::string>{
            "Warning: both.hex has no data from 0x0080 to 0x00FF (1 empty erase unit(s) of "
            "128 bytes in all between 0x0000 and 0x0103): they are erased and filled with the "
            "pattern, so what the device kept there (calibration, settings) is lost",
            "Warning: records of both.hex give 2 address(es) different bytes, the first "
            "0x0102: the later record's byte is written"}));
}

}  // namespace
}  // namespace comflash::cli
