#include "app/conversions.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace comflash::app {
namespace {

TEST(Conversions, ModelPartToByte) {
    struct Case {
        const char* text;
        std::optional<int> byte;
    };
    const std::vector<Case> cases{
        {"0", 0},      {"255", 255},  {" 12 ", 12}, {"&H10", 16},   {"&hff", 255},
        {"2.5", 2},    {"3.5", 4},    {"0.5", 0},   {"254.5", 254}, {"1.49", 1},
        {"-0.4", 0},   {"+7", 7},     {"1e2", 100}, {"256", {}},    {"-1", {}},
        {"255.5", {}}, {"&H100", {}}, {"x", {}},    {"", {}},       {"1x", {}},
        {"&H", {}},    {"&HG", {}},   {"1 2", {}},  {"1e999", {}},  {".", {}},
    };
    for (const auto& c : cases) {
        const auto byte = toByte(c.text);
        ASSERT_EQ(byte.has_value(), c.byte.has_value()) << c.text;
        if (byte) {
            EXPECT_EQ(*byte, *c.byte) << c.text;
        }
    }
}

TEST(Conversions, StoredPortNumber) {
    struct Case {
        const char* text;
        std::optional<int> number;
    };
    const std::vector<Case> cases{
        {"3", 3},        {" 12", 12},  {"7 and more", 7}, {"COM3", 0},        {"", 0},
        {"2.5", 2},      {"3.5", 4},   {"32767", 32767},  {"-32768", -32768}, {"99999", {}},
        {"32767.5", {}}, {"&H10", 16},
    };
    for (const auto& c : cases) {
        const auto number = leadingNumberToInt16(c.text);
        ASSERT_EQ(number.has_value(), c.number.has_value()) << c.text;
        if (number) {
            EXPECT_EQ(*number, *c.number) << c.text;
        }
    }
}

}  // namespace
}  // namespace comflash::app
