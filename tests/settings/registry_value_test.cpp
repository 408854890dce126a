#include "settings/registry_value.h"

#include <gtest/gtest.h>

#include <string>

namespace comflash::settings {
namespace {

using namespace std::string_literals;

struct ReadCase {
    const char* what;
    ValueType type;
    std::string data;
    std::string text;
};

std::string repeated(std::size_t count, char byte) {
    return std::string(count, byte);
}

TEST(RegistryValue, ReadsByTypeAndBufferRules) {
    const auto other = [](std::uint32_t code) { return static_cast<ValueType>(code); };
    const ReadCase cases[] = {
        {"text", ValueType::RegSz, "3\0"s, "3"},
        {"empty text", ValueType::RegSz, "\0"s, ""},
        {"text without data", ValueType::RegSz, ""s, ""},
        {"text stored without its zero byte", ValueType::RegSz, "abc"s, "abc"},
        {"text cut at the first zero byte", ValueType::RegSz, "ab\0cd\0"s, "ab"},
        {"UTF-8 text", ValueType::RegSz, "\xe6\x96\x87\xe6\xa1\xa3\0"s, "\xe6\x96\x87\xe6\xa1\xa3"},
        {"expandable text unexpanded", ValueType::RegExpandSz, "%PATH%\\x\0"s, "%PATH%\\x"},
        {"number 5", ValueType::RegDword, "\x05\x00\x00\x00"s, "5"},
        {"number 300", ValueType::RegDword, "\x2c\x01\x00\x00"s, "300"},
        {"number 0", ValueType::RegDword, "\x00\x00\x00\x00"s, "0"},
        {"largest number, unsigned", ValueType::RegDword, "\xff\xff\xff\xff"s, "4294967295"},
        {"short number padded by the buffer", ValueType::RegDword, "\x05"s, "5"},
        {"number with trailing bytes", ValueType::RegDword, "\x05\x00\x00\x00\x07"s, "5"},
        {"number in a full buffer", ValueType::RegDword, "\x05"s + repeated(1023, '\0'), "5"},
        {"number in a full buffer without zero", ValueType::RegDword, repeated(1024, '\x01'), ""},
        {"binary", ValueType::RegBinary, "3\0"s, ""},
        {"no type", ValueType::RegNone, "3\0"s, ""},
        {"big-endian number", other(5), "\x00\x00\x00\x05"s, ""},
        {"multiple texts", other(7), "a\0b\0\0"s, ""},
        {"64-bit number", other(11), "\x05\x00\x00\x00\x00\x00\x00\x00"s, ""},
        {"1023 characters and zero fill the buffer", ValueType::RegSz, repeated(1023, 'x') + "\0"s,
         repeated(1023, 'x')},
        {"1024 characters and zero do not fit", ValueType::RegSz, repeated(1024, 'x') + "\0"s, ""},
        {"2000 characters", ValueType::RegSz, repeated(2000, 'x') + "\0"s, ""},
        {"full buffer without zero", ValueType::RegSz, repeated(1024, 'x'), ""},
        {"full buffer with a zero", ValueType::RegSz, "ok\0"s + repeated(1021, 'x'), "ok"},
        {"1023 bytes without zero", ValueType::RegSz, repeated(1023, 'x'), repeated(1023, 'x')},
        {"oversized number", ValueType::RegDword, "\x05"s + repeated(1024, '\0'), ""},
    };
    for (const ReadCase& c : cases) {
        EXPECT_EQ(readValueText(c.type, c.data), c.text) << c.what;
    }
}

}  // namespace
}  // namespace comflash::settings
