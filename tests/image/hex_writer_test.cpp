#include "image/hex_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::image {
namespace {

std::string repeat(const std::string& digits, int times) {
    std::string text;
    while (times-- > 0) text += digits;
    return text;
}

TEST(HexWriter, OneRecordPerBlockFromItsFirstNonZeroByte) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // index, value
        std::string text;
    };
    std::vector<std::pair<std::size_t, std::uint8_t>> block0, block0x0100;
    for (std::size_t i = 0; i < 32; ++i) block0.push_back({i, 0xFF});
    for (std::size_t i = 2; i < 32; ++i) block0x0100.push_back({0x100 + i, 0x11});
    const std::vector<Case> cases{
        {"nothing but zeros", {}, ""},
        {"a block of FF at base 0", block0, ":20800000" + repeat("FF", 32) + "80\n\r"},
        {"only the last byte of a block", {{0x5F, 0x5A}}, ":01805F005AC6\n\r"},
        {"two zeros, then 30 bytes", block0x0100, ":1E810200" + repeat("11", 30) + "61\n\r"},
        {"zeros after the first byte are kept; a sum of 0 gives checksum 00",
         {{0x7FE0, 0x01}},
         ":20FFE00001" + repeat("00", 31) + "00\n\r"},
        {"blocks in ascending order, digits in upper case",
         {{0x5F, 0x01}, {0x3E, 0xAB}, {0x3F, 0xCD}},
         ":02803E00ABCDC8\n\r:01805F00011F\n\r"},
        {"nothing from 0x8000 on", {{0x8000, 0xFF}, {0xFFFF, 0xFF}}, ""},
    };
    for (const Case& c : cases) {
        ImageBytes image{};
        for (const auto& [index, value] : c.bytes) image[index] = value;
        EXPECT_EQ(ReadBackHexText(image), c.text) << c.name;
    }
}

}  // namespace
}  // namespace comflash::image
