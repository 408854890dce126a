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
    // The reader passes such a line by; as a line of a file it is a damaged record.
    if (!v.line.empty() && v.line.front() != ':') return LoadResult::NotARecord;
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

// A line that lost its ':' would leave the fill pattern where its bytes belong: it stops the
// load, named by its line. Blank lines and a DOS end-of-file mark stay harmless.
TEST(HexLoader, ALineThatIsNoRecordStopsTheLoadAndIsNamed) {
    const std::string first = ":02000800C0C175";
    const std::string second = ":04002000D0D1D2D396";
    struct Case {
        const char* name;
        std::string text;
        LoadResult result;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"a record without its ':'", first + "\r\n" + second.substr(1) + "\r\n",
         LoadResult::NotARecord, "line 2: the line does not start with ':', so it is no record"},
        {"a comment", "; built today\n" + first + "\n", LoadResult::NotARecord, "line 1: "},
        {"counted over blank lines and both line ends", "\n\r\n" + first + "\r" + "x" + "\n",
         LoadResult::NotARecord, "line 4: "},
        {"a bad checksum", "\n" + first + "\n" + first.substr(0, 14) + "6\n",
         LoadResult::ChecksumMismatch, "line 3: the record's checksum does not match"},
        {"a damaged record", first + "\n:0400G000\n", LoadResult::FaultyRecord,
         "line 2: a record holds a character that is not a hex digit"},
        {"blank lines and a DOS end-of-file mark", first + "\n \t\n\n" + second + "\r\n\x1A",
         LoadResult::Loaded, ""},
        {"the mark right after the last line", first + "\n" + second + "\x1A", LoadResult::Loaded,
         ""},
        {"text after a comma on a record's line", first + ", built today\n", LoadResult::Loaded,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppState state;
        HexReader reader(state);
        std::istringstream file(c.text);
        const LoadReport report = LoadHexFileReport(file, reader);
        EXPECT_EQ(report.result, c.result);
        EXPECT_EQ(report.reason.substr(0, c.reason.size()), c.reason) << report.reason;
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
