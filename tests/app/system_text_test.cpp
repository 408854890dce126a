#include "app/system_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include <string>
#include <vector>

#include "app/startup_config.h"
#include "temp_folder.h"

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

// A program folder named in any script holds a Config.txt that start-up finds.
// UTF-8 stands; a byte of another encoding, an overlong form or a surrogate is escaped.
TEST(SystemText, NamesAreShownEscapedWhereTheyAreNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"fw_1.03.hex", "fw_1.03.hex"},
        {"固件_1.03.hex", "固件_1.03.hex"},
        {"caf\xE9_1.03.hex", "caf\\xE9_1.03.hex"},
        {"\xC0\xAF", "\\xC0\\xAF"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"end\xE4\xB8", "end\\xE4\\xB8"},
    };
    for (const auto& [bytes, shown] : cases) EXPECT_EQ(shownName(bytes), shown) << shown;
}

TEST(SystemText, ConfigInAFolderNamedInAnyScript) {
    test::TempFolder folder;
    const std::filesystem::path program = folder.path() / pathFromUtf8("程序 Ünïcode");
    std::filesystem::create_directory(program);
    std::ofstream(program / "Config.txt", std::ios::binary) << "1:2:3,Maker,Tool,V1\r\n";
    const ConfigRead read = readStartupConfig(utf8FromPath(program / "Config.txt"));
    ASSERT_TRUE(read.config) << read.failure;
    EXPECT_EQ(read.config->appTitle, "Tool");
}

// Notepad's "UTF-8" starts the file with a byte-order mark: the file is UTF-8 then, whatever
// the system's code page, and the mark is no part of the first item.
TEST(SystemText, ConfigWithTheUtf8MarkReadsAsUtf8) {
    struct Case {
        std::string bytes;
        std::optional<std::string> title;  // none: the file is refused
    };
    const std::string mark = "\xEF\xBB\xBF";
    const std::vector<Case> cases{
        {mark + "1:2:3,Maker,工具,V1\r\n", "工具"},
        {mark + mark + "1:2:3,Maker,Tool,V1", std::nullopt},  // one mark only
        {"1:2:3,Maker,Tool,V1", "Tool"},
    };
    test::TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::ofstream(folder.path() / "Config.txt", std::ios::binary) << c.bytes;
        const ConfigRead read = readStartupConfig(utf8FromPath(folder.path() / "Config.txt"));
        if (!c.title) {
            EXPECT_FALSE(read.config);
            continue;
        }
        ASSERT_TRUE(read.config) << read.failure;
        EXPECT_EQ(read.config->modelId, (ModelId{1, 2, 3}));
        EXPECT_EQ(read.config->appTitle, *c.title);
    }
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
