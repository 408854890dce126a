#include "ui/directory_file_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace comflash::ui {
namespace {

TEST(DirectoryFileList, PatternMatchesInEitherCase) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const std::vector<Case> cases{
        {"a.hex", "*.hex", true},
        {"A.HEX", "*.hex", true},
        {"a.hex.bak", "*.hex", false},
        {"ahex", "*.hex", false},
        {".hex", "*.hex", true},
        {"a.hx", "*.h?x", false},
        {"a.hex", "?.hex", true},
        {"ab.hex", "?.hex", false},
        {"noext", "*.*", true},
        {"x_1.2.hex", "*_*.hex", true},
        {"", "*", true},
        {"a", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DirectoryFileList::matches(c.name, c.pattern), c.matches)
            << c.name << " ~ " << c.pattern;
    }
}

TEST(DirectoryFileList, ListsMatchingFilesAscendingWithCaseFolded) {
    test::TempFolder folder;
    for (const char* name :
         {"b.hex", "B.hex", "a.HEX", "_x.hex", "Z.hex", "c.txt", ".hidden.hex"}) {
        std::ofstream(folder.path() / name) << "x";
    }
    std::filesystem::create_directory(folder.path() / "dir.hex");

    DirectoryFileList list;
    list.setPath(folder.path().string());
    list.setPattern("*.hex");

    std::vector<std::string> names;
    for (int i = 0; i < list.listCount(); ++i) names.push_back(list.list(i));
        // Letters fold to lower case, so '_' sorts before them, as it does on Windows. There,
        // "B.hex" names the file "b.hex" already is.
#ifdef _WIN32
    EXPECT_EQ(names, (std::vector<std::string>{"_x.hex", "a.HEX", "b.hex", "Z.hex"}));
#else
    EXPECT_EQ(names, (std::vector<std::string>{"_x.hex", "a.HEX", "B.hex", "b.hex", "Z.hex"}));
#endif
    EXPECT_EQ(list.list(-1), "");
    EXPECT_EQ(list.list(list.listCount()), "");

    list.setPath((folder.path() / "missing").string());
    EXPECT_EQ(list.listCount(), 0);
}

}  // namespace
}  // namespace comflash::ui
