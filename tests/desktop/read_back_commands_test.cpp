// The Save command: the file dialog it shows, and a save that replaces the file whole or leaves
// it as it was.
#include "desktop/read_back_commands.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "desktop/file_dialog.h"
#include "temp_folder.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::desktop {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr const char* kOld = "the previous file, longer than the new one\n";

// Paths are UTF-8 inside the program, whatever the system's code page.
std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

Strings entries(const fs::path& folder) {
    Strings names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct SaveCommand : ::testing::Test {
    SaveCommand() { state.AppTitle = "Flasher"; }
    // Saves to `path`; the texts of the message boxes shown meanwhile.
    Strings save(const fs::path& path) {
        const std::size_t before = toolkit.messages().size();
        toolkit.chooseFileNext(utf8(path));
        commands.onSaveClicked();
        Strings texts;
        for (std::size_t i = before; i < toolkit.messages().size(); ++i) {
            EXPECT_EQ(toolkit.messages()[i].title, "Flasher");
            texts.push_back(toolkit.messages()[i].text);
        }
        return texts;
    }

    test::TempFolder folder;
    ui::headless::HeadlessToolkit toolkit;
    AppState state;
    ReadBackCommands commands{state, toolkit, [] { FAIL() << "a save runs no session"; }};
};

#ifdef _WIN32
// Windows: the bytes go out untranslated (LF then CR stays so), and what stops a save leaves
// the old file as it was.
TEST_F(SaveCommand, ReplacesTheFileWholeOrNotAtAll) {
    const fs::path target = folder.path() / u8"读出.hex";  // a name beyond the ANSI code page
    std::ofstream(target) << kOld;
    state.FirmwareImage[0x1F] = 0x5A;
    EXPECT_EQ(save(target), Strings{});
    EXPECT_EQ(readText(target), ":01801F005A06\n\r");

    fs::permissions(target, fs::perms::owner_write, fs::perm_options::remove);
    state.FirmwareImage[0x1F] = 0x5B;
    const Strings texts = save(target);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("Cannot save ", 0), 0u) << texts[0];
    EXPECT_EQ(readText(target), ":01801F005A06\n\r") << "a read-only file stays";
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);

    fs::create_directory(folder.path() / "folder.hex");
    EXPECT_EQ(save(folder.path() / "folder.hex").size(), 1u);
    EXPECT_EQ(entries(folder.path()), (Strings{"folder.hex", "读出.hex"}))
        << "no temporary file is left";
}
#else
TEST_F(SaveCommand, AsksForAHexFileAndReplacesItWhole) {
    const fs::path target = folder.path() / "read.hex";
    std::ofstream(target) << kOld;
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(target, folder.path() / "link.hex");
    state.FirmwareImage[0x1F] = 0x5A;
    EXPECT_EQ(save(folder.path() / "link.hex"), Strings{});
    EXPECT_EQ(readText(target), ":01801F005A06\n\r");
    EXPECT_TRUE(fs::is_symlink(folder.path() / "link.hex")) << "the link leads to the new file";
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(entries(folder.path()), (Strings{"link.hex", "read.hex"}));

    const ui::FileDialogRequest& dialog = toolkit.fileDialogs().at(0);
    EXPECT_EQ(dialog.mode, ui::FileDialogMode::Save);
    EXPECT_EQ(dialog.title + "|" + dialog.initialName + "|" + dialog.filters.at(0).name + "|" +
                  dialog.filters.at(1).name + "|" + dialog.defaultSuffix,
              "保存||烧录文件(*.hex)|所有文件(*.*)|hex");

    state.FirmwareImage.fill(0);
    EXPECT_EQ(save(target), Strings{});
    EXPECT_EQ(readText(target), "") << "an image of zeros gives an empty file";
}

// Whatever stops a save, the file keeps its old contents and nothing is left behind.
TEST_F(SaveCommand, AFailedSaveLeavesTheFileAsItWas) {
    auto readOnly = [](const fs::path& path) {
        fs::permissions(path,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    };
    struct Case {
        const char* target;
        std::function<void(const fs::path& target)> prepare;
        const char* reason;
        bool rootPasses;  // permissions do not stop the superuser
    };
    const std::vector<Case> cases{
        {"folder.hex", [](const fs::path&) {}, "Is a directory", false},
        {"missing/read.hex", [](const fs::path&) {}, "No such file or directory", false},
        {"read.hex", [&](const fs::path& t) { readOnly(t.parent_path()); }, "Permission denied",
         true},
        {"read.hex", readOnly, "Permission denied", true},
        // Midway through the write, even for the superuser.
        {"read.hex",
         [](const fs::path&) {
             std::signal(SIGXFSZ, SIG_IGN);
             const rlimit limit{4096, RLIM_INFINITY};
             ::setrlimit(RLIMIT_FSIZE, &limit);
         },
         "File too large", false},
    };
    state.FirmwareImage.fill(0xFF);  // about 77 KB of records
    for (const Case& c : cases) {
        if (c.rootPasses && ::geteuid() == 0) continue;
        test::TempFolder place;
        fs::create_directory(place.path() / "folder.hex");
        std::ofstream(place.path() / "read.hex") << kOld;
        const fs::path target = place.path() / c.target;
        c.prepare(target);
        const Strings before = entries(place.path());

        const Strings texts = save(target);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &unlimited);

        EXPECT_EQ(texts, Strings{"Cannot save " + target.string() + ": " + c.reason + "."});
        EXPECT_EQ(entries(place.path()), before) << c.reason;
        EXPECT_TRUE(readText(place.path() / "read.hex") == kOld) << c.reason;
        EXPECT_TRUE(fs::is_empty(place.path() / "folder.hex")) << c.reason;
    }
}

#endif

TEST_F(SaveCommand, ACancelledOrFailedDialogSavesNothing) {
    toolkit.chooseFileNext(std::nullopt);
    commands.onSaveClicked();
    toolkit.failFileDialogNext();
    commands.onSaveClicked();
    ASSERT_EQ(toolkit.messages().size(), 1u) << "a cancel shows nothing";
    EXPECT_EQ(toolkit.messages()[0].text, "未知原因导致操作失败！");
    EXPECT_EQ(toolkit.messages()[0].title, "Flasher");
    EXPECT_EQ(toolkit.messages()[0].icon, ui::Icon::Critical);
}

TEST(FileDialog, OpenModeForOpenInAnyCase) {
    ui::headless::HeadlessToolkit toolkit;
    for (const auto& [mode, open] : std::vector<std::pair<const char*, bool>>{
             {"OPEN", true}, {"oPeN", true}, {"Save", false}, {"", false}, {"Opens", false}}) {
        toolkit.chooseFileNext("/chosen");
        EXPECT_EQ(ShowFileDialog(toolkit, AppState{}, mode, "Title", "first.hex"), "/chosen");
        const ui::FileDialogRequest& request = toolkit.fileDialogs().back();
        EXPECT_EQ(request.mode == ui::FileDialogMode::Open, open) << mode;
        EXPECT_EQ(request.fileMustExist, open) << mode;
        EXPECT_EQ(request.confirmOverwrite, !open) << mode;
        EXPECT_EQ(request.defaultSuffix, open ? "" : "hex") << mode;
        EXPECT_EQ(request.title + request.initialName, "Titlefirst.hex");
    }
}

}  // namespace
}  // namespace comflash::desktop
