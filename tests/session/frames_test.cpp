#include "session/frames.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace comflash::session {
namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X ", byte);
        text += digits;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

TEST(Frames, BytesOnTheWire) {
    Frame frame{kMarker};
    putHandshake(frame, {0x10, 0x20, 0x30}, 1, 2);
    EXPECT_EQ(hex(frame), "55 82 10 20 30 01 02 D4");
    putHandshake(frame, {0x10, 0x20, 0x30}, 0xFF, 0xFF);
    EXPECT_EQ(hex(frame), "55 82 10 20 30 FF FF D7");
    putWrite(frame, 0x1010, 0x70);
    EXPECT_EQ(hex(std::span(frame).first(kWriteLength)), "55 02 00 10 10 70");
    // An erase leaves byte 5 as the write command left it; only five bytes are sent.
    putErase(frame, 0x1080);
    EXPECT_EQ(hex(frame), "55 01 00 10 80 70 FF D7");
    putGo(frame, 0xABCD);
    EXPECT_EQ(hex(std::span(frame).first(kGoLength)), "55 03 00 AB CD");

    ImageBytes image{};
    image[0xFFFE] = 0x0F;
    image[0xFFFF] = 0xF1;
    putWrite(frame, 0xFFFE, 2);
    EXPECT_EQ(hex(dataBlock(frame, image)), "0F F1 FE");
    putWrite(frame, 0x0000, 0);
    EXPECT_EQ(hex(dataBlock(frame, image)), "00");
}

TEST(Frames, CommandReplyVerdicts) {
    EXPECT_EQ(judgeCommandReply(0x79), CommandVerdict::Accepted);
    EXPECT_EQ(judgeCommandReply(0x1F), CommandVerdict::Refused);
    for (const int other : {0x00, 0x55, 0x78, 0x86, 0xFF}) {
        EXPECT_EQ(judgeCommandReply(static_cast<std::uint8_t>(other)), CommandVerdict::Unreadable);
    }
}

// Blocks run to the end of their erase unit or of the image, whichever comes first.
TEST(Frames, BlockLengthAndFinish) {
    struct Case {
        int next;
        std::int32_t end;
        int length;  // 0: the session is finished
    };
    const std::vector<Case> cases{
        {0x1010, 0x1150, 0x70},  // first block of an image that starts mid-unit
        {0x1080, 0x1150, 0x80},  // a whole unit
        {0x1100, 0x1150, 0x51},  // the rest of the image
        {0x1100, 0x1100, 1},     // an image ending on a unit base ends with one byte
        {0x1010, 0x1050, 0x41},  // within one unit
        {0x1070, 0x10A0, 0x10},  // would cross into the next unit: cut at its end
        {0x1080, 0x10A0, 0x21}, {0x1000, 0x107E, 0x7F}, {0x1000, 0x107F, 0x80},
        {0x1000, 0x10FF, 0x80}, {0x10FF, 0x1100, 1},  // the last byte of a page, the image going on
        {0xFF80, 0xFFFF, 0x80}, {0x1151, 0x1150, 0},    {0x1200, 0x1150, 0},
        {0x10000, 0xFFFF, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(finished(c.next, c.end), c.length == 0) << std::hex << c.next;
        if (c.length != 0) {
            EXPECT_EQ(blockLength(c.next, c.end), c.length) << std::hex << c.next;
        }
    }
}

TEST(Frames, ProgressTexts) {
    struct Case {
        int next;
        std::int32_t start, end;
        double fraction;
        const char* text;
    };
    const std::vector<Case> cases{
        {0x1010, 0x1010, 0x1150, 0.0, "Complete:%"},
        {0x1080, 0x1010, 0x1150, 0.35, "Complete:35%"},
        {0x1100, 0x1010, 0x1150, 0.75, "Complete:75%"},
        {0x1151, 0x1010, 0x1150, 1.0, "Complete:100%"},  // past the end: never above 1
        {0x1001, 0x1000, 0x1200, 1.0 / 512, "Complete:%"},
        {0x1003, 0x1000, 0x1200, 3.0 / 512, "Complete:1%"},
        {0x2000, 0x2000, 0x2000, 0.0, "Complete:%"},  // an image of one address
        {0x2001, 0x2000, 0x2000, 1.0, "Complete:100%"},
        {0x10000, 0x0000, 0xFFFF, 1.0, "Complete:100%"},
    };
    for (const auto& c : cases) {
        const double fraction = progressFraction(c.next, c.start, c.end);
        EXPECT_DOUBLE_EQ(fraction, c.fraction) << std::hex << c.next;
        EXPECT_EQ(progressText(fraction), c.text) << std::hex << c.next;
    }
}

TEST(Frames, FailureTextNamesTheNextAddressUnpadded) {
    EXPECT_EQ(failureText(0x1205), "读写失败,地址 = 125");
    EXPECT_EQ(failureText(0x1280), "读写失败,地址 = 1280");
    EXPECT_EQ(failureText(0x0080), "读写失败,地址 = 080");
    EXPECT_EQ(failureText(0xABCD), "读写失败,地址 = ABCD");
}

}  // namespace
}  // namespace comflash::session
