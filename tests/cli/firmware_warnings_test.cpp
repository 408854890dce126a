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
    AppState state;
    state.FirmwareMajor = 4;
    state.FirmwareMinor = 7;
    for (const Case& c : cases) EXPECT_EQ(firmwareText(c.path, state), c.text);
}

// The message drops leading zeros of each byte; of the ways to read its digits, a failure
// stops only at the image's first address, a unit base inside it, or just past its end.
TEST(FailureAddress, FullAddressOfTheUnpaddedOne) {
    struct Case {
        const char* message;
        std::int32_t start;
        std::int32_t end;
        const char* line;
    };
    const std::vector<Case> cases{
        {"读写失败,地址 = 95", 0x0905, 0x2000, "Full address: 0x0905"},
        {"读写失败,地址 = 905", 0x0100, 0xA000, "Full address: 0x9005"},  // "9" and "05" is none
        {"读写失败,地址 = 950", 0x0100, 0xA000, "Full address: 0x9500"},
        {"读写失败,地址 = 950", 0x0950, 0xA000, "Full address: 0x0950 or 0x9500"},
        {"读写失败,地址 = 00", 0x0000, 0x7FFF, "Full address: 0x0000"},
        {"读写失败,地址 = 110", 0x0100, 0x010F, "Full address: 0x0110"},  // just past the end
        {"Successful", 0x0100, 0x0200, ""},
        {"Model Error！", 0x0100, 0x0200, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        AppState state;
        state.ImageStart = c.start;
        state.ImageEnd = c.end;
        EXPECT_EQ(failureAddressLine(c.message, state), c.line);
    }
}

TEST(FirmwareWarnings, NameTheGapAndTheOverlap) {
    test::TempFolder folder;
    const std::string both = (folder.path() / "both.hex").string();
    // 0x0000-0x0003, then 0x0102-0x0103 over 0x0100-0x0103 with other bytes.
    std::ofstream(folder.path() / "both.hex", std::ios::binary) << ":0400000001020304F2\n"
                                                                   ":0401000001020304F1\n"
                                                                   ":020102000506F0\n";
    EXPECT_EQ(
        firmwareWarnings(both),
        (std::vector<std::string>{
            "Warning: both.hex has no data from 0x0080 to 0x00FF (1 empty erase unit(s) of "
            "128 bytes in all between 0x0000 and 0x0103): they are erased and filled with the "
            "pattern, so what the device kept there (calibration, settings) is lost",
            "Warning: records of both.hex give 2 address(es) different bytes, the first "
            "0x0102: the later record's byte is written"}));
}

}  // namespace
}  // namespace comflash::cli
