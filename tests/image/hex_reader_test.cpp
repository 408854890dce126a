#include "image/hex_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "record_vectors.h"

namespace comflash::image {
namespace {

using testing::Outcome;

constexpr std::int32_t kStaleStart = 0x4000;
constexpr std::int32_t kStaleEnd = 0x4FFF;
constexpr std::uint8_t kTopByte = 0x5A;

// A state as the loader leaves it right after opening a file: image filled, bounds from an
// earlier load.
AppState freshState() {
    AppState state;
    state.FirmwareImage[0xFFFF] = kTopByte;
    FillFirmwareImage(state.FirmwareImage);
    state.ImageStart = kStaleStart;
    state.ImageEnd = kStaleEnd;
    return state;
}

Outcome analyse(HexReader& reader, const std::string& line) {
    try {
        return reader.AnalyseHexLine(line) ? Outcome::Accepted : Outcome::Mismatch;
    } catch (const HexLineError& error) {
        switch (error.fault()) {
            case HexFault::NotHexDigit:
                return Outcome::NotHexDigit;
            case HexFault::LineEndsEarly:
                return Outcome::LineEndsEarly;
            case HexFault::OutsideImage:
                return Outcome::OutsideImage;
            case HexFault::UnknownRecord:
                return Outcome::UnknownRecord;
        }
        throw;
    }
}

TEST(FirmwareImage, FillRunsDownFromFFEveryHundredTwentyEightBytesAndSparesTheTopByte) {
    const AppState state = freshState();
    EXPECT_EQ(state.FirmwareImage[0], 0xFF);
    EXPECT_EQ(state.FirmwareImage[127], 0x80);
    EXPECT_EQ(state.FirmwareImage[128], 0xFF);
    EXPECT_EQ(state.FirmwareImage[0xFFFE], 0x81);
    EXPECT_EQ(state.FirmwareImage[0xFFFF], kTopByte);
    for (std::size_t index = 0; index <= kLastFilledIndex; ++index) {
        ASSERT_EQ(state.FirmwareImage[index], (index & 0x7F) ^ 0xFF) << index;
    }
}

TEST(HexReader, ReadOneByteTakesTwoHexDigitsAndNothingElse) {
    struct Case {
        std::string text;
        std::size_t offset;
        int value;  // -1: NotHexDigit, -2: LineEndsEarly
    };
    const std::vector<Case> cases = {
        {"00", 1, 0x00},
        {"FF", 1, 0xFF},
        {"ff", 1, 0xFF},
        {"a5", 1, 0xA5},
        {":0400", 2, 0x04},
        {":0400", 4, 0x00},
        {"9A", 1, 0x9A},
        // The characters right next to the digit ranges.
        {"0G", 1, -1},
        {"G0", 1, -1},
        {"/0", 1, -1},
        {"0:", 1, -1},
        {"@0", 1, -1},
        {"0`", 1, -1},
        {"g0", 1, -1},
        {" 1", 1, -1},
        {"1 ", 1, -1},
        {"", 1, -2},
        {"0", 1, -2},
        {"00", 0, -2},
        {"00", 2, -2},
        {"00", 3, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " at " + std::to_string(c.offset));
        try {
            EXPECT_EQ(HexReader::ReadOneByte(c.text, c.offset), c.value);
        } catch (const HexLineError& error) {
            EXPECT_EQ(c.value, error.fault() == HexFault::NotHexDigit ? -1 : -2);
        }
    }
}

TEST(HexReader, EachLineStoresItsBytesSetsItsBoundsAndReportsItsOutcome) {
    for (const testing::RecordVector& v : testing::recordVectors()) {
        SCOPED_TRACE(std::string(v.name));
        AppState state = freshState();
        AppState expected = state;
        for (std::size_t i = 0; i < v.stored.size(); ++i) {
            expected.FirmwareImage[v.address + i] = v.stored[i];
        }
        if (v.bounds) std::tie(expected.ImageStart, expected.ImageEnd) = *v.bounds;

        HexReader reader(state);
        EXPECT_EQ(analyse(reader, v.line), v.outcome);
        EXPECT_EQ(state.FirmwareImage, expected.FirmwareImage);
        EXPECT_EQ(state.ImageStart, expected.ImageStart);
        EXPECT_EQ(state.ImageEnd, expected.ImageEnd);
        EXPECT_EQ(reader.FirstRecord, !v.bounds.has_value());
    }
}

TEST(HexReader, BoundsCoverEveryByteOfEveryDataRecord) {
    struct Step {
        std::string line;
        std::int32_t start, end;
    };
    const std::vector<Step> steps = {
        {":10001000000102030405060708090A0B0C0D0E0F68", 0x10, 0x1F},
        {":08001800A0A1A2A3A4A5A6A7C4", 0x10, 0x1F},  // inside
        {":04001F00B0B1B2B317", 0x10, 0x22},          // starts at the end, runs past it
        {":02000800C0C175", 0x08, 0x22},              // below the start
        {":04002000D0D1D2D396", 0x08, 0x23},          // starts inside, runs past the end
        {":020000040000FA", 0x08, 0x23},
        {":00000001FF", 0x08, 0x23},
    };
    AppState state = freshState();
    HexReader reader(state);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.line);
        EXPECT_TRUE(reader.AnalyseHexLine(step.line));
        EXPECT_EQ(state.ImageStart, step.start);
        EXPECT_EQ(state.ImageEnd, step.end);
    }
    // Later records overwrite earlier ones; the gap keeps the fill.
    const std::vector<std::uint8_t> expected = {
        0xC0, 0xC1, 0xF5, 0xF4, 0xF3, 0xF2, 0xF1, 0xF0, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
        0x06, 0x07, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xB0, 0xD0, 0xD1, 0xD2, 0xD3,
    };
    EXPECT_EQ(std::vector<std::uint8_t>(state.FirmwareImage.begin() + 0x08,
                                        state.FirmwareImage.begin() + 0x24),
              expected);
}

}  // namespace
}  // namespace comflash::image
