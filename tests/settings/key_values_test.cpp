#include "settings/key_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace comflash::settings {
namespace {

using namespace std::string_literals;

constexpr std::string_view kExample =
    "comflash registry key 1\n"
    "1 ComPort 3%00\n"
    "4 Other %05%00%00%00\n"
    "end\n";

TEST(KeyValues, WritesOneReadableLinePerValue) {
    KeyValues values;
    values.set("ComPort", ValueType::RegSz, "3\0"s);
    values.set("Other", ValueType::RegDword, "\x05\x00\x00\x00"s);
    EXPECT_EQ(values.serialize(), kExample);
}

TEST(KeyValues, AnyNameAndDataRoundTrip) {
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte) everyByte.push_back(static_cast<char>(byte));
    const StoredValue stored[] = {
        {"", ValueType::RegSz, "default value\0"s},
        {"two\nlines =", ValueType::RegExpandSz, " %TEMP%\r\n\0"s},
        {"\xe4\xb8\xb2\xe5\x8f\xa3", ValueType::RegSz, "\xe6\x96\x87\xe6\xa1\xa3\0"s},
        {"bytes\xff\x00"s, ValueType::RegBinary, everyByte},
        {"empty binary", ValueType::RegBinary, ""},
        {"largest type", static_cast<ValueType>(0xFFFFFFFFu), "x"},
        {"oversized", ValueType::RegSz, std::string(5000, 'x') + "\0"s},
    };
    KeyValues values;
    for (const StoredValue& value : stored) values.set(value.name, value.type, value.data);
    const std::string text = values.serialize();

    // One line per value between the header and the end line, all of it printable UTF-8.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
              static_cast<std::ptrdiff_t>(std::size(stored) + 2));
    EXPECT_EQ(
        std::count_if(text.begin(), text.end(),
                      [](char c) { return c != '\n' && static_cast<unsigned char>(c) < 0x20; }),
        0);
    EXPECT_NE(text.find("\xe4\xb8\xb2\xe5\x8f\xa3"), std::string::npos);

    const auto parsed = KeyValues::parse(text);
    ASSERT_TRUE(parsed.has_value());
    for (const StoredValue& value : stored) {
        const StoredValue* const found = parsed->find(value.name);
        ASSERT_NE(found, nullptr) << value.name;
        EXPECT_EQ(found->name, value.name);
        EXPECT_EQ(found->type, value.type) << value.name;
        EXPECT_EQ(found->data, value.data) << value.name;
    }
    EXPECT_EQ(parsed->serialize(), text);
}

TEST(KeyValues, RejectsDamagedFiles) {
    const std::string header = "comflash registry key 1\n";
    const std::string cases[] = {
        "",
        "garbage",
        "comflash registry key 2\nend\n",
        "comflash registry key 1\r\nend\r\n",
        header,
        header + "end",
        header + "end\n\n",
        header + "end\nextra\n",
        header + "1 ComPort 3%00\n",
        header + "1 ComPort\nend\n",
        header + "1 ComPort 3%00 x\nend\n",
        header + "1 Com Port 3%00\nend\n",
        header + "x ComPort 3%00\nend\n",
        header + " ComPort 3%00\nend\n",
        header + "-1 ComPort 3%00\nend\n",
        header + "+1 ComPort 3%00\nend\n",
        header + "4294967296 ComPort 3%00\nend\n",
        header + "1 ComPort 3%0\nend\n",
        header + "1 ComPort 3%G0\nend\n",
        header + "1 Com%ort 3%00\nend\n",
        header + "1 ComPort 3\t%00\nend\n",
        header + "1 ComPort 3%00\r\nend\n",
        header + "1 ComPort 3%00\n1 comport 4%00\nend\n",
    };
    for (const std::string& text : cases) {
        EXPECT_FALSE(KeyValues::parse(text).has_value()) << text;
    }
}

TEST(KeyValues, EveryCutShortFileIsRejected) {
    for (std::size_t length = 0; length < kExample.size(); ++length) {
        EXPECT_FALSE(KeyValues::parse(kExample.substr(0, length)).has_value()) << length;
    }
    EXPECT_TRUE(KeyValues::parse(kExample).has_value());
}

}  // namespace
}  // namespace comflash::settings
