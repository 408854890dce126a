#include "settings/file_registry_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace comflash::settings {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::TempFolder;

constexpr RootKey kLocalMachine = RootKey::LocalMachine;
const std::string kKey = "SoftWare\\Maker\\Update";
const std::string kKeyFolder = "/HKEY_LOCAL_MACHINE/software/maker/update";

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class FileRegistryStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }

    std::string keyFolder() const { return root_ + kKeyFolder; }
    std::string keyFile() const { return keyFolder() + "/values.txt"; }

    TempFolder temp_;
    // Not there yet: the first write makes it.
    const std::string root_ = temp_.path().string() + "/config/comflash";
    FileRegistryStore store_{root_};
};

TEST_F(FileRegistryStoreTest, MissingKeyOrValueReadsEmpty) {
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "");
    EXPECT_FALSE(fs::exists(root_)) << "a read creates nothing";

    ASSERT_TRUE(fs::create_directories(keyFolder()));
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "") << "key without values";

    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "Other", "4"));
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "") << "value missing";
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, "SoftWare\\Maker", "Other"), "")
        << "values belong to their own key only";
}

TEST_F(FileRegistryStoreTest, FirstWriteCreatesTheWholePath) {
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));

    EXPECT_EQ(readFile(keyFile()), "comflash registry key 1\n1 ComPort 3%00\nend\n");
    EXPECT_EQ(namesIn(keyFolder()), std::set<std::string>{"values.txt"});
    EXPECT_EQ(FileRegistryStore(root_).ReadRegValue(kLocalMachine, kKey, "ComPort"), "3");
}

TEST_F(FileRegistryStoreTest, TextsRoundTrip) {
    const std::pair<std::string, std::string> cases[] = {
        {"ComPort", "3"},
        {"", "the key's default value"},
        {"a=b", "c=d"},
        {"two\nlines", "x\r\ny\n"},
        {"\xe4\xb8\xb2\xe5\x8f\xa3", "\xe6\x96\x87\xe6\xa1\xa3"},
        {"%41", "%PATH% 100%"},
        {" ", ""},
        {"stray bytes \xff", "\xfe\x80"},
        {"longest", std::string(1023, 'x')},
    };
    for (const auto& [name, value] : cases) {
        EXPECT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, name, value)) << name;
    }
    FileRegistryStore reopened(root_);
    for (const auto& [name, value] : cases) {
        EXPECT_EQ(reopened.ReadRegValue(kLocalMachine, kKey, name), value) << name;
    }
}

TEST_F(FileRegistryStoreTest, ReadFollowsTheStoredType) {
    ASSERT_TRUE(store_.putDword(kLocalMachine, kKey, "Dword5", 5));
    ASSERT_TRUE(store_.putValue(kLocalMachine, kKey, "Binary", ValueType::RegBinary, "3\0"s));
    ASSERT_TRUE(
        store_.putValue(kLocalMachine, kKey, "Expand", ValueType::RegExpandSz, "%TEMP%\\a\0"s));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "Text2000", std::string(2000, '7')));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "Text1024", std::string(1024, '7')));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "Embedded", "12\0"s + "34"));

    const std::pair<std::string, std::string> expected[] = {
        {"Dword5", "5"},  {"Binary", ""},   {"Expand", "%TEMP%\\a"},
        {"Text2000", ""}, {"Text1024", ""}, {"Embedded", "12"},
    };
    for (const auto& [name, text] : expected) {
        EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, name), text) << name;
    }
}

TEST_F(FileRegistryStoreTest, KeyAndValueNamesIgnoreAsciiCase) {
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, "SOFTWARE\\MAKER\\UPDATE", "COMPORT", "4"));

    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, "software\\maker\\update", "comport"), "4");
    EXPECT_EQ(readFile(keyFile()), "comflash registry key 1\n1 ComPort 4%00\nend\n");

    // Only ASCII letters fold: Ä and ä are two names.
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "\xc3\x84", "upper"));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "\xc3\xa4", "lower"));
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "\xc3\x84"), "upper");
}

TEST_F(FileRegistryStoreTest, WritingOneValueKeepsTheOthers) {
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "A", "1"));
    ASSERT_TRUE(store_.putDword(kLocalMachine, kKey, "B", 2));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "A", "3"));

    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "A"), "3");
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "B"), "2");
}

TEST_F(FileRegistryStoreTest, KeyPathsStayBelowTheRoot) {
    const std::string names[] = {
        "",       "..",         "../..",       "/",    "/etc",         ".",  "a/../../b", "%",
        "%2E%2E", "values.txt", "My \"Tool\"", "a\nb", "\xe6\x96\x87", "\\",
    };
    for (const std::string& name : names) {
        EXPECT_TRUE(store_.WriteRegValue(kLocalMachine, "SoftWare\\" + name + "\\Update", "ComPort",
                                         "<" + name + ">"))
            << name;
    }
    for (const std::string& name : names) {
        EXPECT_EQ(store_.ReadRegValue(kLocalMachine, "SoftWare\\" + name + "\\Update", "ComPort"),
                  "<" + name + ">")
            << name;
    }
    for (const auto& entry : fs::recursive_directory_iterator(temp_.path())) {
        const std::string path = entry.path().string();
        EXPECT_TRUE((path + "/").starts_with(root_ + "/") || root_.starts_with(path + "/")) << path;
    }
}

TEST_F(FileRegistryStoreTest, DamagedFileReadsEmptyAndRefusesWrites) {
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "Other", "4"));
    const std::string whole = readFile(keyFile());
    const std::string damaged[] = {"", "garbage\n", whole.substr(0, whole.size() / 2),
                                   whole.substr(0, whole.size() - 4)};
    for (const std::string& contents : damaged) {
        writeFile(keyFile(), contents);
        EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "") << contents;
        EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "Other"), "") << contents;
        EXPECT_FALSE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "5")) << contents;
        EXPECT_EQ(readFile(keyFile()), contents) << "the damaged file is kept for the user";
    }
}

TEST_F(FileRegistryStoreTest, UnusablePlacesFailWithoutThrowing) {
    // The values file is a folder: it can be neither read nor replaced.
    ASSERT_TRUE(fs::create_directories(keyFile()));
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "");
    EXPECT_FALSE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));

    // A key's folder is taken by a file.
    writeFile(root_ + "/HKEY_LOCAL_MACHINE/software/other", "");
    EXPECT_FALSE(store_.WriteRegValue(kLocalMachine, "SoftWare\\Other\\Update", "ComPort", "3"));
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, "SoftWare\\Other\\Update", "ComPort"), "");

    // The root itself is a file.
    const std::string fileRoot = temp_.path().string() + "/file";
    writeFile(fileRoot, "");
    FileRegistryStore onFile(fileRoot);
    EXPECT_FALSE(onFile.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));
    EXPECT_EQ(onFile.ReadRegValue(kLocalMachine, kKey, "ComPort"), "");

    FileRegistryStore noRoot("");
    EXPECT_FALSE(noRoot.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));
    EXPECT_EQ(noRoot.ReadRegValue(kLocalMachine, kKey, "ComPort"), "");

    const auto currentUser = static_cast<RootKey>(0x80000001u);
    EXPECT_FALSE(store_.WriteRegValue(currentUser, kKey, "ComPort", "3"));
    EXPECT_EQ(store_.ReadRegValue(currentUser, kKey, "ComPort"), "");
}

TEST_F(FileRegistryStoreTest, KeyThatMayNotBeModifiedCanBeNeitherReadNorWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may modify every folder";
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));
    ASSERT_EQ(::chmod(keyFolder().c_str(), 0555), 0);
    const std::string software = root_ + "/HKEY_LOCAL_MACHINE/software";
    ASSERT_EQ(::chmod(software.c_str(), 0555), 0);

    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "");
    EXPECT_FALSE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "4"));
    EXPECT_FALSE(store_.WriteRegValue(kLocalMachine, "SoftWare\\New", "ComPort", "4"));

    ::chmod(software.c_str(), 0700);
    ::chmod(keyFolder().c_str(), 0700);
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "3");
}

// A write that cannot finish (here: the file size limit is reached) leaves the old file as it
// was and no temporary file behind.
TEST_F(FileRegistryStoreTest, FailedWriteLeavesTheOldFileIntact) {
    ASSERT_TRUE(store_.WriteRegValue(kLocalMachine, kKey, "ComPort", "3"));
    const std::string before = readFile(keyFile());

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = before.size() + 16;
    const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = store_.WriteRegValue(kLocalMachine, kKey, "Big", std::string(4000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedSignal);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(keyFile()), before);
    EXPECT_EQ(store_.ReadRegValue(kLocalMachine, kKey, "ComPort"), "3");
    EXPECT_EQ(namesIn(keyFolder()), std::set<std::string>{"values.txt"});
}

}  // namespace
}  // namespace comflash::settings
