#include "ui/qt/line_settings.h"

#include <gtest/gtest.h>

namespace comflash::ui::qt {
namespace {

using Parity = LineSettings::Parity;
using StopBits = LineSettings::StopBits;

struct Accepted {
    const char* text;
    int baudRate;
    Parity parity;
    int dataBits;
    StopBits stopBits;
};

TEST(LineSettings, AcceptsEveryFieldForm) {
    const Accepted cases[] = {
        {"9600,N,8,1", 9600, Parity::None, 8, StopBits::One},
        {"9600,n,8,1", 9600, Parity::None, 8, StopBits::One},
        {"19200,N,8,1", 19200, Parity::None, 8, StopBits::One},
        {"115200,e,7,2", 115200, Parity::Even, 7, StopBits::Two},
        {"300,O,5,1.5", 300, Parity::Odd, 5, StopBits::OneAndHalf},
        {"1200,M,6,1", 1200, Parity::Mark, 6, StopBits::One},
        {"2400,s,8,2", 2400, Parity::Space, 8, StopBits::Two},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto line = LineSettings::parse(c.text);
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->baudRate, c.baudRate);
        EXPECT_EQ(line->parity, c.parity);
        EXPECT_EQ(line->dataBits, c.dataBits);
        EXPECT_EQ(line->stopBits, c.stopBits);
    }
}

TEST(LineSettings, RefusesMalformedText) {
    const char* cases[] = {
        "",
        "9600",
        "9600,N,8",
        "9600,N,8,1,",
        "9600,N,8,1,1",
        ",N,8,1",
        "0,N,8,1",
        "-9600,N,8,1",
        "+9600,N,8,1",
        "96x0,N,8,1",
        "9600 ,N,8,1",
        "9600,N ,8,1",
        "9600, N,8,1",
        "9600,X,8,1",
        "9600,NN,8,1",
        "9600,,8,1",
        "9600,N,4,1",
        "9600,N,9,1",
        "9600,N,8,0",
        "9600,N,8,3",
        "9600,N,8,1.0",
        "99999999999,N,8,1",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(LineSettings::parse(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace comflash::ui::qt
