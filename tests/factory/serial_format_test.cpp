#include "factory/serial_format.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace comflash::factory {
namespace {

// The bytes as hex pairs, or "error: " and the refusal.
std::string encoded(std::string_view formatName, std::string_view serial) {
    const auto format = parseSerialFormat(formatName);
    if (const auto* why = std::get_if<std::string>(&format)) return "format error: " + *why;
    const auto bytes = encodeSerial(std::get<SerialFormat>(format), serial);
    if (const auto* why = std::get_if<std::string>(&bytes)) return "error: " + *why;
    std::string text;
    for (const std::uint8_t byte : std::get<std::vector<std::uint8_t>>(bytes)) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%s%02X", text.empty() ? "" : " ", byte);
        text += pair;
    }
    return text;
}

TEST(SerialFormat, EncodesOrRefuses) {
    struct Case {
        const char* format;
        const char* serial;
        const char* expected;
    };
    const Case cases[] = {
        {"u16le", "4660", "34 12"},
        {"u16be", "4660", "12 34"},
        {"u16le", "65535", "FF FF"},
        {"u16le", "70000", "error: serial number 70000 does not fit u16le (at most 65535)"},
        {"u32le", "305419896", "78 56 34 12"},
        {"u32be", "305419896", "12 34 56 78"},
        {"u32le", "0004660", "34 12 00 00"},
        {"u32be", "4294967296",
         "error: serial number 4294967296 does not fit u32be (at most 4294967295)"},
        {"u64le", "1", "01 00 00 00 00 00 00 00"},
        {"u64be", "18446744073709551615", "FF FF FF FF FF FF FF FF"},
        {"u64le", "18446744073709551616",
         "error: serial number 18446744073709551616 does not fit u64le (at most "
         "18446744073709551615)"},
        {"u32le", "-5", "error: serial number -5 is negative"},
        {"u32le", "12a", "error: serial number \"12a\" is not a whole number"},
        {"u32le", " 5", "error: serial number \" 5\" is not a whole number"},
        {"u16le", "", "error: serial number \"\" is not a whole number"},
        {"dec8", "1234", "30 30 30 30 31 32 33 34"},
        {"dec3", "00042", "30 34 32"},
        {"dec1", "0", "30"},
        {"dec3", "1000", "error: serial number 1000 does not fit dec3 (at most 999)"},
        {"dec20", "99999999999999999999",
         "39 39 39 39 39 39 39 39 39 39 39 39 39 39 39 39 39 39 39 39"},
        {"dec4", "+12", "error: serial number \"+12\" is not a whole number"},
        {"mac", "00:11:22:33:44:55", "00 11 22 33 44 55"},
        {"mac", "0a-1B-2c-3D-4e-5F", "0A 1B 2C 3D 4E 5F"},
        {"mac", "001122AABBCC", "00 11 22 AA BB CC"},
        {"mac", "00:11-22:33:44:55",
         "error: serial number \"00:11-22:33:44:55\" is not a MAC address (00:11:22:33:44:55, "
         "00-11-22-33-44-55 or 001122334455)"},
        {"mac", "1000",
         "error: serial number \"1000\" is not a MAC address (00:11:22:33:44:55, "
         "00-11-22-33-44-55 or 001122334455)"},
        {"mac", "00:11:22:33:44:5G",
         "error: serial number \"00:11:22:33:44:5G\" is not a MAC "
         "address (00:11:22:33:44:55, 00-11-22-33-44-55 or "
         "001122334455)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encoded(c.format, c.serial), c.expected) << c.format << " " << c.serial;
    }
}

// Every name a format has is read back to the same format; anything else is refused.
TEST(SerialFormat, Names) {
    for (const char* name :
         {"u16le", "u16be", "u32le", "u32be", "u64le", "u64be", "dec1", "dec8", "dec20", "mac"}) {
        const auto format = parseSerialFormat(name);
        ASSERT_TRUE(std::holds_alternative<SerialFormat>(format)) << name;
        EXPECT_EQ(formatName(std::get<SerialFormat>(format)), name);
    }
    EXPECT_EQ(formatName(SerialFormat{}), "u32le");
    EXPECT_EQ(std::get<std::string>(parseSerialFormat("u24le")),
              "\"u24le\" is no serial number format; the formats are u16le, u16be, u32le, "
              "u32be, u64le, u64be, decN with N from 1 to 20 (dec8), or mac");
    for (const char* name : {"dec0", "dec21", "dec08", "dec", "U32LE", "u32", "mac48", ""}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(parseSerialFormat(name))) << name;
    }
}

TEST(SerialFormat, NextSerial) {
    struct Case {
        const char* serial;
        const char* next;  // none: nullptr
    };
    const Case cases[] = {
        {"1000", "1001"},
        {"0099", "0100"},
        {"9", "10"},
        {"18446744073709551614", "18446744073709551615"},
        {"18446744073709551615", nullptr},
        {"00:11:22:33:44:FF", "00:11:22:33:45:00"},
        {"0a-ff-ff-ff-ff-ff", "0b-00-00-00-00-00"},
        {"001122334455", "001122334456"},
        {"FFFFFFFFFFFF", nullptr},
        {"-1", nullptr},
        {"abc", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const auto next = nextSerial(c.serial);
        EXPECT_EQ(next.value_or("none"), c.next ? c.next : "none") << c.serial;
    }
}

// A firmware from 0x8100 to 0x890F (inclusive): the bytes go in only when every one of them
// lies in that range.
TEST(SerialFormat, Placement) {
    struct Case {
        std::int32_t at;
        std::size_t size;
        std::int32_t end;
        const char* refusal;  // empty: placed
    };
    const Case cases[] = {
        {0x8100, 4, 0x890F, ""},
        {0x890C, 4, 0x890F, ""},
        {0x890D, 4, 0x890F, "0x890D: 4 bytes do not fit in the image's range 0x8100 to 0x890F"},
        {0x80FF, 1, 0x890F, "0x80FF: 1 byte does not fit in the image's range 0x8100 to 0x890F"},
        {0x9000, 4, 0x890F, "0x9000: 4 bytes do not fit in the image's range 0x8100 to 0x890F"},
        {0xFFFF, 1, 0xFFFF, ""},
        {0xFFFE, 4, 0xFFFF, "0xFFFE: 4 bytes do not fit in the image's range 0x8100 to 0xFFFF"},
    };
    for (const Case& c : cases) {
        ImageBytes image{};
        image.fill(0xEE);
        ImageBytes expected = image;
        const std::vector<std::uint8_t> bytes(c.size, 0x5A);
        const std::string why = placeSerial(image, 0x8100, c.end, c.at, bytes);
        EXPECT_EQ(why, c.refusal) << std::hex << c.at;
        EXPECT_EQ(serialFitRefusal(c.at, c.size, 0x8100, c.end), c.refusal);
        if (why.empty()) {
            std::fill_n(expected.begin() + c.at, c.size, 0x5A);
        }
        EXPECT_TRUE(image == expected) << std::hex << c.at;
    }
}

}  // namespace
}  // namespace comflash::factory
