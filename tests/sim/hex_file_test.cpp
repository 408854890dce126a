#include "sim/hex_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace comflash::sim {
namespace {

using ::testing::HasSubstr;

TEST(HexFileTest, LoadsWhatSrecordWritesAtEveryOffset) {
    // srec_cat writes the Intel HEX independently; each binary lands at its offset.
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("comflash-sim-hex-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    std::mt19937 random(7);
    struct Piece {
        unsigned offset;
        std::size_t length;
    };
    for (const Piece piece :
         {Piece{0x0000, 1}, Piece{0x1010, 321}, Piece{0xFF00, 256}, Piece{0x7FF3, 29}}) {
        std::vector<char> data(piece.length);
        for (char& byte : data) byte = static_cast<char>(random());
        const auto binary = folder / "piece.bin";
        const auto hex = folder / "piece.hex";
        std::ofstream(binary, std::ios::binary).write(data.data(), static_cast<long>(data.size()));
        const std::string command = std::string(COMFLASH_SREC_CAT) + " " + binary.string() +
                                    " -binary -offset " + std::to_string(piece.offset) + " -o " +
                                    hex.string() + " -intel";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        Memory memory = erasedMemory();
        std::ifstream text(hex);
        ASSERT_EQ(loadIntelHex(text, memory), std::nullopt);
        Memory expected = erasedMemory();
        std::copy(data.begin(), data.end(), expected.begin() + piece.offset);
        EXPECT_EQ(memory, expected) << "offset " << piece.offset;
    }
    std::filesystem::remove_all(folder);
}

TEST(HexFileTest, RejectsBrokenRecordsAndKeepsTheMemory) {
    struct Case {
        const char* text;
        const char* problem;
    };
    const Case cases[] = {
        {":0100000041BF\n", "line 1: checksum mismatch"},
        {"0100000041BF\n", "does not start with ':'"},
        {":0100000041B\n", "odd number"},
        {":03000000414100\n", "length does not match"},
        {":01000000G1BF\n", "not a hex digit"},
        {":0100000641B8\n", "unknown record type"},
        {":020000040001F9\n", "beyond 64 KiB"},
        {":02FFFF0041427D\n", "data beyond 64 KiB"},
        {":0100000041BE\r\n:0100000041BF\n", "line 2: checksum"},
    };
    for (const Case& c : cases) {
        Memory memory = erasedMemory();
        std::istringstream text(c.text);
        const auto problem = loadIntelHex(text, memory);
        ASSERT_TRUE(problem.has_value()) << c.text;
        EXPECT_THAT(*problem, HasSubstr(c.problem)) << c.text;
        EXPECT_EQ(memory, erasedMemory()) << c.text;
    }
}

// The tool's loader takes LF, CR LF and a lone CR as line ends, and files it saves may end
// their lines with any of them: the device's memory file reads alike.
TEST(HexFileTest, EveryLineEndReadsAlike) {
    const std::vector<std::string> records{":0100100041AE", ":02002000A1B28B", ":00000001FF"};
    for (const std::string end : {"\n", "\r\n", "\r", "  \r", "\r\r\n"}) {
        std::string text;
        for (const std::string& record : records) text += record + end;
        text.pop_back();  // the last line may lack its end, or keep part of it
        Memory memory = erasedMemory();
        std::istringstream in(text);
        ASSERT_EQ(loadIntelHex(in, memory), std::nullopt) << ::testing::PrintToString(end);
        EXPECT_EQ(memory[0x10], 0x41) << ::testing::PrintToString(end);
        EXPECT_EQ(memory[0x20], 0xA1) << ::testing::PrintToString(end);
        EXPECT_EQ(memory[0x21], 0xB2) << ::testing::PrintToString(end);
    }
    // A line number counts lone CRs too.
    Memory memory = erasedMemory();
    std::istringstream in(":0100100041AE\r:0100100041AF\r");
    EXPECT_THAT(loadIntelHex(in, memory).value_or(""), HasSubstr("line 2: checksum"));
}

TEST(HexFileTest, StopsAtTheEndOfFileRecord) {
    Memory memory = erasedMemory();
    std::istringstream text(":0100100041AE\r\n:020000040000FA\n\n:00000001FF\n:01002000429D\n");
    ASSERT_EQ(loadIntelHex(text, memory), std::nullopt);
    EXPECT_EQ(memory[0x10], 0x41);
    EXPECT_EQ(memory[0x20], 0xFF);
}

}  // namespace
}  // namespace comflash::sim
