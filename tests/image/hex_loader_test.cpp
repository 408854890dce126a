#include "image/hex_loader.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "record_vectors.h"
#include "trickle_stream.h"

namespace comflash::image {
namespace {

using testing::Outcome;

constexpr std::int32_t kStaleStart = 0x4000;
constexpr std::int32_t kStaleEnd = 0x4FFF;

struct Loaded {
    LoadResult result;
    AppState state;
};

// Loads text into a filled image whose bounds an earlier load left behind, fed either whole
// or one byte at a time.
std::unique_ptr<Loaded> load(const std::string& text, bool byteByByte = false,
                             std::size_t failAfter = testing::TrickleBuf::kNeverFails) {
    auto loaded = std::make_unique<Loaded>();
    AppState& state = loaded->state;
    FillFirmwareImage(state.FirmwareImage);
    state.ImageStart = kStaleStart;
    state.ImageEnd = kStaleEnd;
    HexReader reader(state);
    if (byteByByte || failAfter != testing::TrickleBuf::kNeverFails) {
        testing::TrickleBuf buffer(text, failAfter);
        std::istream file(&buffer);
        loaded->result = LoadHexFile(file, reader);
    } else {
        std::istringstream file(text);
        loaded->result = LoadHexFile(file, reader);
    }
    return loaded;
}

LoadResult expectedResult(const testing::RecordVector& v) {
    switch (v.outcome) {
        case Outcome::Accepted:
            return v.bounds ? LoadResult::Loaded : LoadResult::NoData;
        case Outcome::Mismatch:
            return LoadResult::ChecksumMismatch;
        default:
            return LoadResult::FaultyRecord;
    }
}

TEST(HexLoader, EveryLineLoadsAloneAlikeInEveryFormTheFileCanHoldIt) {
    for (const testing::RecordVector& v : testing::recordVectors()) {
        const std::unique_ptr<Loaded> direct = load(v.line);
        const std::vector<std::string> forms = {
            v.line + "\n",   "  " + v.line + "\r\n",    "\t" + v.line + "\r",
            "\r\n" + v.line, v.line + ",:00000001FF\n",
        };
        for (const std::string& form : forms) {
            for (const bool byteByByte : {false, true}) {
                SCOPED_TRACE(std::string(v.name) + " in " + ::testing::PrintToString(form) +
                             (byteByByte ? " byte by byte" : ""));
                const std::unique_ptr<Loaded> other = load(form, byteByByte);
                EXPECT_EQ(other->result, expectedResult(v));
                EXPECT_EQ(other->state.FirmwareImage, direct->state.FirmwareImage);
                EXPECT_EQ(other->state.ImageStart, direct->state.ImageStart);
                EXPECT_EQ(other->state.ImageEnd, direct->state.ImageEnd);
            }
        }
    }
}

TEST(HexLoader, LinesAfterAnEndOfFileRecordAreStillRead) {
    const std::unique_ptr<Loaded> good =
        load(":02000800C0C175\n:00000001FF\n:04002000D0D1D2D396\n");
    EXPECT_EQ(good->result, LoadResult::Loaded);
    EXPECT_EQ(good->state.FirmwareImage[0x23], 0xD3);
    EXPECT_EQ(good->state.ImageEnd, 0x23);

    const std::unique_ptr<Loaded> bad = load(":02000800C0C175\n:00000001FF\n:0100000600F9\n");
    EXPECT_EQ(bad->result, LoadResult::FaultyRecord);
}

TEST(HexLoader, AFileWithoutDataIsFaultyAndLeavesTheBoundsAlone) {
    for (const std::string text : {"", "\n", ":020000040000FA\n:00000001FF\n", ":00100000FF\n"}) {
        SCOPED_TRACE(::testing::PrintToString(text));
        const std::unique_ptr<Loaded> loaded = load(text);
        EXPECT_EQ(loaded->result, LoadResult::NoData);
        EXPECT_EQ(loaded->state.ImageStart, kStaleStart);
        EXPECT_EQ(loaded->state.ImageEnd, kStaleEnd);
    }
}

TEST(HexLoader, AFileThatCannotBeReadToItsEndIsFaulty) {
    const std::string text = ":02000800C0C175\n:04002000D0D1D2D396\n";
    for (const std::size_t failAfter : {std::size_t{0}, std::size_t{16}, std::size_t{20}}) {
        SCOPED_TRACE(failAfter);
        EXPECT_EQ(load(text, true, failAfter)->result, LoadResult::ReadFailed);
    }
    EXPECT_EQ(load(text, true, text.size())->result, LoadResult::Loaded);
}

TEST(HexLoader, EachFileSetsTheBoundsAfresh) {
    AppState state;
    HexReader reader(state);
    std::istringstream high(":04002000D0D1D2D396\n");
    ASSERT_EQ(LoadHexFile(high, reader), LoadResult::Loaded);
    std::istringstream low(":02000800C0C175\n");
    ASSERT_EQ(LoadHexFile(low, reader), LoadResult::Loaded);
    EXPECT_EQ(state.ImageStart, 0x08);
    EXPECT_EQ(state.ImageEnd, 0x09);
}

}  // namespace
}  // namespace comflash::image
