#include "app/system_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::app {
namespace {

TEST(SystemText, PathsKeepTheirNamesInEveryScript) {
    for (const std::string name : {"plain.hex", "固件_1.03.hex", "Zürich/Ünïcode", ""}) {
        EXPECT_EQ(utf8FromPath(pathFromUtf8(name)), name);
    }
    EXPECT_EQ(utf8FromPath(pathFromUtf8("程序") / pathFromUtf8("配置.txt")),
              std::string("程序") + static_cast<char>(std::filesystem::path::preferred_separator) +
                  "配置.txt");
}

#ifdef _WIN32
// A Config.txt saved by a Chinese Windows is GBK (code page 936).
TEST(SystemText, CodePagesToUtf8AndBack) {
    struct Case {
        unsigned codePage;
        std::string bytes;
        std::string utf8;
    };
    const std::vector<Case> cases{
        {936, "\xB9\xA4\xBE\xDF, V1.0", "工具, V1.0"},
        {936, "\xC9\xFD\xBC\xB6", "升级"},
        {1252, "Z\xFCrich", "Zürich"},
        {936, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fromCodePage(c.bytes, c.codePage), c.utf8) << c.utf8;
        EXPECT_EQ(toCodePage(c.utf8, c.codePage), c.bytes) << c.utf8;
    }
    EXPECT_EQ(toCodePage("工具", 1252), "??") << "a character the code page lacks";
}
#else
TEST(SystemText, TheLocalesTextPassesUnchanged) {
    for (const std::string text : {"工具, V1.0", "Z\xFCrich", ""}) {
        EXPECT_EQ(fromSystemCodePage(text), text);
        EXPECT_EQ(toSystemCodePage(text), text);
    }
}
#endif

}  // namespace
}  // namespace comflash::app
