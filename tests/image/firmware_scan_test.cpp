#include "image/firmware_scan.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "record_vectors.h"

namespace comflash::image {
namespace {

using testing::hexRecord;

std::string record(std::uint16_t address, std::vector<std::uint8_t> data) {
    return hexRecord(address, 0, data) + "\n";
}

// Erase units the file leaves empty are erased and filled; records that disagree leave the
// later one's bytes. Both are what the device gets beyond the file's own records.
TEST(FirmwareScan, FindsEmptyEraseUnitsAndRecordsThatDisagree) {
    const std::vector<std::uint8_t> sixteen(16, 0x11);
    struct Case {
        const char* name;
        std::string text;
        std::size_t emptyUnits;
        std::int32_t from;
        std::int32_t to;
        std::size_t overlaps;
        std::int32_t firstOverlap;
    };
    const std::vector<Case> cases{
        {"records back to back", record(0x0100, sixteen) + record(0x0110, sixteen), 0, -1, -1, 0,
         -1},
        {"far apart, as a calibration block kept out of the file",
         record(0x0100, sixteen) + record(0xC000, sixteen), (0xC000 - 0x0180) / 128, 0x0180, 0xBFFF,
         0, -1},
        {"a gap of 200 bytes holds one whole unit",
         record(0x0170, sixteen) + record(0x0248, sixteen), 1, 0x0180, 0x01FF, 0, -1},
        {"a gap of 128 bytes across a boundary holds none",
         record(0x01B0, sixteen) + record(0x0240, sixteen), 0, -1, -1, 0, -1},
        {"two runs: the first is named, all are counted",
         record(0x0000, sixteen) + record(0x0100, sixteen) + record(0x0300, sixteen), 4, 0x0080,
         0x00FF, 0, -1},
        {"an overlap with the same bytes is no conflict",
         record(0x0100, sixteen) + record(0x0108, {0x11, 0x11}), 0, -1, -1, 0, -1},
        {"an overlap with other bytes",
         record(0x0100, sixteen) + record(0x0104, {0x11, 0x22, 0x33}), 0, -1, -1, 2, 0x0105},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream file(c.text);
        const FirmwareScan found = ScanFirmware(file);
        ASSERT_EQ(found.load.result, LoadResult::Loaded) << found.load.reason;
        EXPECT_EQ(found.emptyUnits, c.emptyUnits);
        EXPECT_EQ(found.firstEmptyFrom, c.from);
        EXPECT_EQ(found.firstEmptyTo, c.to);
        EXPECT_EQ(found.overlaps, c.overlaps);
        EXPECT_EQ(found.firstOverlap, c.firstOverlap);
    }
}

}  // namespace
}  // namespace comflash::image
