#include "desktop/update_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/system_text.h"
#include "image/firmware_image.h"
#include "record_vectors.h"
#include "temp_folder.h"
#include "ui/directory_file_list.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::desktop {
namespace {

using namespace image;

using testing::hexRecord;

constexpr const char* kTitle = "Flasher";
constexpr std::uint8_t kTopByte = 0x5A;

// One line per message box: text, title, icon, buttons.
std::vector<std::string> rendered(const std::vector<ui::MessageBox>& boxes) {
    const char* icons[] = {"none", "critical", "exclamation"};
    std::vector<std::string> lines;
    for (const ui::MessageBox& box : boxes) {
        lines.push_back(box.text + " | " + box.title.value_or("<default title>") + " | " +
                        icons[static_cast<int>(box.icon)] +
                        (box.buttons == ui::Buttons::Ok ? " | ok" : " | retry, cancel"));
    }
    return lines;
}

// A file list that names files whatever the folder holds.
class FixedFileList : public ui::FileList {
  public:
    explicit FixedFileList(std::vector<std::string> names) : names_(std::move(names)) {}
    std::string path() const override { return path_; }
    void setPath(const std::string& folder) override { path_ = folder; }
    std::string pattern() const override { return pattern_; }
    void setPattern(const std::string& pattern) override { pattern_ = pattern; }
    int listCount() const override { return static_cast<int>(names_.size()); }
    std::string list(int index) const override {
        return names_.at(static_cast<std::size_t>(index));
    }

  private:
    std::vector<std::string> names_;
    std::string path_, pattern_;
};

// What the session window finds when it opens.
struct SessionView {
    bool updateMode;
    std::uint8_t major, minor;
    std::int32_t start, end;
    ImageBytes image;
};

// A program folder, the main window's state and a session window that succeeds on demand.
struct Bench {
    Bench() {
        state.AppTitle = kTitle;
        state.FirmwareImage[0xFFFF] = kTopByte;
    }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(programFolder / app::pathFromUtf8(name), std::ios::binary) << text;
    }

    void click() { click(directory); }
    void click(ui::FileList& file1) {
        UpdateCommand command(state, toolkit, file1, app::utf8FromPath(programFolder),
                              [this] { showSessionWindow(); });
        command.onUpdateClicked();
    }

    // The session window as the main window shows it, with a stand-in for the session: it
    // notes what it finds and closes at once.
    void showSessionWindow() {
        if (!formProcess) {
            formProcess = toolkit.createWindow(ui::kFormProcess);
            formProcess->onLoad = [this] {
                state.SessionSucceeded = false;
                sessions.push_back(std::make_unique<SessionView>(
                    SessionView{state.UpdateMode, state.FirmwareMajor, state.FirmwareMinor,
                                state.ImageStart, state.ImageEnd, state.FirmwareImage}));
                state.SessionSucceeded = sessionSucceeds;
                formProcess->unload();
            };
            formProcess->onUnload = [this] {
                state.UpdateMode = false;
                state.ReadMode = false;
            };
        }
        formProcess->showModal();
    }

    comflash::test::TempFolder folder;
    std::filesystem::path programFolder = folder.path();
    ui::DirectoryFileList directory;
    ui::headless::HeadlessToolkit toolkit;
    std::unique_ptr<ui::Window> formProcess;
    AppState state;
    std::vector<std::unique_ptr<SessionView>> sessions;
    bool sessionSucceeds = false;
};

const std::string kNoFile = "无升级文件 | <default title> | critical | ok";
const std::string kOpenFailed = "打开文件错误 | <default title> | critical | ok";
const std::string kFaulty = std::string("文档有误 | ") + kTitle + " | none | ok";
const std::string kSucceeded = std::string("Successful | ") + kTitle + " | exclamation | ok";

TEST(UpdateCommand, LoadsTheFirstFileByNameUnlessAllSixTempFilesArePresent) {
    const std::vector<std::string> six = {"TempFile_1.03.hex", "TempFile_1.00.hex",
                                          "TempFile_1.01.hex", "TempFile_1.02.hex",
                                          "TempFile_1.04.hex", "TempFile_1.05.hex"};
    auto withSix = [&](std::vector<std::string> names) {
        names.insert(names.end(), six.begin(), six.end());
        return names;
    };
    auto fiveOfSix = six;
    fiveOfSix.pop_back();
    auto oneInLowerCase = six;
    oneInLowerCase.back() = "tempfile_1.05.hex";
    oneInLowerCase.push_back("A_9.9.hex");

    struct Case {
        std::string name;
        std::vector<std::string> files;
        std::string loaded;
        int major, minor;
    };
    const std::vector<Case> cases = {
        {"two files", {"b.hex", "a.hex"}, "a.hex", 0, 0},
        // Letter case does not order names: "a" comes before "B".
        {"case folded order", {"B_2.0.hex", "a_1.0.hex"}, "a_1.0.hex", 1, 0},
        {"all six and one before them", withSix({"A_9.9.hex"}), "TempFile_1.03.hex", 1, 3},
        {"five of six", fiveOfSix, "TempFile_1.00.hex", 1, 0},
        {"one of six differs in case", oneInLowerCase, "A_9.9.hex", 9, 9},
        {"other files are not firmware",
         {"fw_3.1.bin", "hex", "b.hex", "notes.txt"},
         "b.hex",
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        // Each file stores its own number at 0x10.
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            bench.write(c.files[i], hexRecord(0x10, 0, {static_cast<std::uint8_t>(i + 1)}));
        }
        bench.click();
        ASSERT_EQ(bench.sessions.size(), 1u);
        const auto loaded = std::find(c.files.begin(), c.files.end(), c.loaded) - c.files.begin();
        EXPECT_EQ(bench.sessions[0]->image[0x10], loaded + 1);
        EXPECT_EQ(bench.sessions[0]->major, c.major);
        EXPECT_EQ(bench.sessions[0]->minor, c.minor);
        EXPECT_TRUE(bench.toolkit.messages().empty());
    }
}

TEST(UpdateCommand, AFileThatCannotBeFoundOpenedOrTrustedShowsOneMessageAndNoSession) {
    const std::string good = ":0400100001020304E2\n";
    struct Case {
        std::string name;
        std::map<std::string, std::string> files;
        std::vector<std::string> listed;  // empty: the folder's own list
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no firmware file", {{"notes.txt", good}}, {}, kNoFile},
        {"vanished before it was opened", {}, {"gone.hex"}, kOpenFailed},
        {"checksum", {{"a.hex", ":0400100001020304E3\n"}}, {}, kFaulty},
        {"not a hex digit", {{"a.hex", ":04001000010G0304E2\n"}}, {}, kFaulty},
        {"data above 64 KiB", {{"a.hex", ":020000040001F9\n" + good}}, {}, kFaulty},
        {"no data record", {{"a.hex", ":020000040000FA\n:00000001FF\n"}}, {}, kFaulty},
        {"empty", {{"a.hex", ""}}, {}, kFaulty},
#ifdef _WIN32
        {"a folder", {}, {"folder.hex"}, kOpenFailed},  // Windows opens no folder as a file
#else
        {"a folder", {}, {"folder.hex"}, kFaulty},  // it opens, but reads as nothing
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        for (const auto& [name, text] : c.files) bench.write(name, text);
        std::filesystem::create_directory(bench.folder.path() / "folder.hex");
        FixedFileList fixed(c.listed);
        if (c.listed.empty()) {
            bench.click();
        } else {
            bench.click(fixed);
            EXPECT_EQ(fixed.path(), bench.folder.path().string());
            EXPECT_EQ(fixed.pattern(), "*.hex");
        }
        EXPECT_EQ(rendered(bench.toolkit.messages()), std::vector<std::string>{c.message});
        EXPECT_TRUE(bench.sessions.empty());
        EXPECT_EQ(bench.toolkit.window("FormProcess"), nullptr);
        EXPECT_FALSE(bench.state.UpdateMode);
        // The fill comes first, whatever follows.
        EXPECT_EQ(bench.state.FirmwareImage[0x20], FillByte(0x20));
    }
}

TEST(UpdateCommand, ABadThirdRecordKeepsTheBytesBeforeItButStartsNoSession) {
    Bench bench;
    bench.write("a.hex",
                ":02000800C0C175\n"
                ":0400100001020304E2\n"
                ":04002000D0D1D2D397\n"  // bad checksum
                ":02003000E0E10D\n");
    bench.click();
    EXPECT_EQ(rendered(bench.toolkit.messages()), std::vector<std::string>{kFaulty});
    EXPECT_TRUE(bench.sessions.empty());
    const ImageBytes& image = bench.state.FirmwareImage;
    EXPECT_EQ(image[0x08], 0xC0);
    EXPECT_EQ(image[0x13], 0x04);
    EXPECT_EQ(image[0x23], 0xD3);
    EXPECT_EQ(image[0x30], FillByte(0x30));
}

TEST(UpdateCommand, TheSessionSeesTheWholeFileAndItsVersionInUpdateMode) {
    Bench bench;
    bench.state.FirmwareMajor = 7;
    bench.state.FirmwareMinor = 8;
    bench.state.ImageStart = 0;
    bench.state.ImageEnd = 0x7FFF;
    const std::vector<std::uint8_t> long255 = testing::counting(255);
    // Windows line ends, a leading address record, the longest record, one that runs past
    // the end so far, and no end-of-file record.
    bench.write("fw_2.10.hex", ":020000040000FA\r\n" + hexRecord(0x1000, 0, long255) + "\r\n" +
                                   hexRecord(0x1080, 0, {0xAA, 0xBB}) + "\r\n" +
                                   hexRecord(0x10FE, 0, {0x11, 0x22, 0x33}) + "\r\n");
    bench.sessionSucceeds = true;
    bench.click();

    ASSERT_EQ(bench.sessions.size(), 1u);
    const SessionView& seen = *bench.sessions[0];
    EXPECT_TRUE(seen.updateMode);
    EXPECT_EQ(seen.major, 2);
    EXPECT_EQ(seen.minor, 10);
    EXPECT_EQ(seen.start, 0x1000);
    EXPECT_EQ(seen.end, 0x1100);
    ImageBytes expected{};
    expected[0xFFFF] = kTopByte;
    FillFirmwareImage(expected);
    std::copy(long255.begin(), long255.end(), expected.begin() + 0x1000);
    expected[0x1080] = 0xAA;
    expected[0x1081] = 0xBB;
    expected[0x10FE] = 0x11;
    expected[0x10FF] = 0x22;
    expected[0x1100] = 0x33;
    EXPECT_EQ(seen.image, expected);
    EXPECT_EQ(rendered(bench.toolkit.messages()), std::vector<std::string>{kSucceeded});
    EXPECT_FALSE(bench.state.UpdateMode);
}

TEST(UpdateCommand, AVersionPieceTheNameLacksKeepsItsByteAndAFailedSessionSaysNothing) {
    struct Case {
        std::string file;
        int major, minor;
    };
    const std::vector<Case> cases = {
        {"firmware.hex", 7, 8}, {"fw_1.hex", 1, 8}, {"fw_.4.hex", 7, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Bench bench;
        bench.state.FirmwareMajor = 7;
        bench.state.FirmwareMinor = 8;
        bench.write(c.file, ":0400100001020304E2\n");
        bench.click();
        EXPECT_EQ(bench.state.FirmwareMajor, c.major);
        EXPECT_EQ(bench.state.FirmwareMinor, c.minor);
        EXPECT_EQ(bench.sessions.size(), 1u);
        EXPECT_TRUE(bench.toolkit.messages().empty());
    }
}

}  // namespace
}  // namespace comflash::desktop

namespace comflash::desktop {
namespace {

// Folder and file names beyond the system's 8-bit code page: the program keeps them in UTF-8
// and opens them as such.
TEST(UpdateCommand, FoldersAndFilesNamedInAnyScript) {
    Bench bench;
    bench.programFolder = bench.folder.path() / app::pathFromUtf8("程序 Ünïcode");
    std::filesystem::create_directory(bench.programFolder);
    bench.write("固件_2.5.hex", hexRecord(0x0100, 0, {0xAB, 0xCD}) + "\n");
    bench.click();
    ASSERT_EQ(bench.sessions.size(), 1u) << rendered(bench.toolkit.messages()).size();
    EXPECT_EQ(bench.sessions[0]->major, 2);
    EXPECT_EQ(bench.sessions[0]->minor, 5);
    EXPECT_EQ(bench.sessions[0]->image[0x0101], 0xCD);
}

}  // namespace
}  // namespace comflash::desktop
