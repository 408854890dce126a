#include "desktop/main_window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/system_text.h"
#include "image/hex_loader.h"
#include "memory_store.h"
#include "sim/device.h"
#include "temp_folder.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::desktop {
namespace {

using namespace app;

class Form1Start : public ::testing::Test {
  protected:
    // Starts the program from a folder whose Config.txt holds `config` (none when nullopt),
    // saved in the system's code page as an editor there would save it.
    bool start(const std::optional<std::string>& config) {
        if (config) {
            std::ofstream(folder.path() / "Config.txt", std::ios::binary)
                << app::toSystemCodePage(*config);
        }
        form = std::make_unique<MainWindow>(state, toolkit, store, folder.path().string());
        return form->show();
    }
    std::string caption() { return form->window().caption(); }
    std::string versionLine() { return form->window().label("LabelVersion").caption(); }

    test::TempFolder folder;
    test::MemoryStore store;
    ui::headless::HeadlessToolkit toolkit;
    AppState state;
    std::unique_ptr<MainWindow> form;
};

TEST_F(Form1Start, ItemsOnOneLineOrOnFourGiveTheSameSettings) {
    for (const char* text : {"1:2:3, Maker, Tool, V1.0", "1:2:3\r\nMaker\r\nTool\r\nV1.0\r\n"}) {
        state = AppState{};
        ASSERT_TRUE(start(std::string(text))) << text;
        EXPECT_EQ(state.ModelId, (std::array<std::uint8_t, 3>{1, 2, 3}));
        EXPECT_EQ(state.RegistryKeyPath, "SoftWare\\Maker\\Update");
        EXPECT_EQ(state.AppTitle, "Tool");
        EXPECT_EQ(caption(), "Tool");
        EXPECT_EQ(versionLine(), "Version:V1.0");
        EXPECT_TRUE(state.UseEnglish);
        EXPECT_EQ(state.ComPortNumber, 1) << "nothing stored yet";
        EXPECT_TRUE(toolkit.messages().empty());
    }
}

TEST_F(Form1Start, TitleAndVersionItems) {
    struct Case {
        const char* config;
        const char* caption;
        const char* version;
    };
    const std::vector<Case> cases{
        {"1:2:3,Maker,\"Tool, Pro\",V2", "Tool, Pro", "Version:V2"},
        {"1:2:3,Maker,,,", "Update", "Version:Unknow"},
        {"1:2:3,\nMaker,\nTool,\nV3,\n", "Tool", "Version:V3"},
        {"1:2:3,,\"\",\"\"", "Update", "Version:Unknow"},
        {"1:2:3,Maker,工具,版本1 , ignored, items", "工具", "Version:版本1"},
    };
    for (const auto& c : cases) {
        // A code page without Chinese (Windows set to a Western language) cannot hold it.
        if (app::fromSystemCodePage(app::toSystemCodePage(c.config)) != c.config) continue;
        ASSERT_TRUE(start(std::string(c.config))) << c.config;
        EXPECT_EQ(caption(), c.caption) << c.config;
        EXPECT_EQ(versionLine(), c.version) << c.config;
        EXPECT_EQ(form->window().label("Label1").caption(), "Update Software");
    }
}

TEST_F(Form1Start, ModelIdentifierParts) {
    struct Case {
        const char* model;
        std::optional<std::array<std::uint8_t, 3>> id;  // none: start-up fails
        const char* fault;
    };
    const std::vector<Case> cases{
        {"1:2:3:4", std::array<std::uint8_t, 3>{1, 2, 3}, ""},
        {"&H10:2.5:3.5", std::array<std::uint8_t, 3>{16, 2, 4}, ""},
        {" 0 : 255 :7", std::array<std::uint8_t, 3>{0, 255, 7}, ""},
        {"1:2", std::nullopt, "has 2 part(s); 3 are needed"},
        {"1:x:3", std::nullopt, "part 2 of the model identifier \"1:x:3\" is \"x\""},
        {"1:2:256", std::nullopt, "part 3 of the model identifier \"1:2:256\" is \"256\""},
    };
    for (const auto& c : cases) {
        state = AppState{};
        const std::size_t boxesBefore = toolkit.messages().size();
        const bool shown = start(std::string(c.model) + ",Maker,Tool,V1");
        EXPECT_EQ(shown, c.id.has_value()) << c.model;
        if (c.id) {
            EXPECT_EQ(state.ModelId, *c.id) << c.model;
            continue;
        }
        EXPECT_FALSE(form->window().loaded());
        EXPECT_NE(form->failure().find("Config.txt"), std::string::npos) << form->failure();
        EXPECT_NE(form->failure().find(c.fault), std::string::npos) << form->failure();
        ASSERT_EQ(toolkit.messages().size(), boxesBefore + 1) << c.model;
        EXPECT_EQ(toolkit.messages().back().text, form->failure());
        EXPECT_EQ(toolkit.messages().back().icon, ui::Icon::Critical);
        EXPECT_EQ(state.ComPortNumber, 0) << "no setting is read after a failure";
    }
}

TEST_F(Form1Start, UnusableConfigFileEndsTheProgram) {
    EXPECT_FALSE(start(std::nullopt));
    EXPECT_NE(form->failure().find("missing"), std::string::npos) << form->failure();
    EXPECT_FALSE(start(std::string("1:2:3,Maker,Tool")));
    EXPECT_NE(form->failure().find("3 items found, 4 needed"), std::string::npos);
    EXPECT_FALSE(start(std::string("")));
    EXPECT_NE(form->failure().find("0 items found"), std::string::npos) << form->failure();
    std::filesystem::remove(folder.path() / "Config.txt");
    std::filesystem::create_directory(folder.path() / "Config.txt");
    EXPECT_FALSE(start(std::nullopt));
    EXPECT_NE(form->failure().find("missing or unreadable"), std::string::npos);
    EXPECT_EQ(toolkit.messages().size(), 4u);
}

TEST_F(Form1Start, StoredComPort) {
    struct Case {
        std::optional<std::string> stored;
        int port;
    };
    const std::vector<Case> cases{
        {std::nullopt, 1}, {"3", 3}, {"COM3", 0}, {"99999", 0}, {" 12", 12},
    };
    for (const auto& c : cases) {
        store = test::MemoryStore();
        if (c.stored) {
            ASSERT_TRUE(store.WriteRegValue(settings::RootKey::LocalMachine,
                                            "SoftWare\\Maker\\Update", "ComPort", *c.stored));
        }
        state = AppState{};
        ASSERT_TRUE(start(std::string("1:2:3,Maker,Tool,V1")));
        EXPECT_EQ(state.ComPortNumber, c.port) << c.stored.value_or("(none)");
    }
}

// The Update button loads the firmware file and writes it through a session: "Successful"
// follows only a session whose go frame the device accepted.
TEST_F(Form1Start, UpdateButtonWritesTheFirmwareFile) {
    ASSERT_TRUE(start(std::string("16:32:48,Maker,Tool,V1")));
    auto& main = dynamic_cast<ui::headless::HeadlessWindow&>(form->window());
    auto texts = [this] {
        std::vector<std::string> all;
        for (const auto& box : toolkit.messages()) all.push_back(box.text);
        return all;
    };

    std::ofstream(folder.path() / "fw_1.2.hex") << ":0400100001020304E2\n:04001400010203GGD8\n";
    ASSERT_TRUE(main.click("Command1"));
    EXPECT_EQ(texts(), std::vector<std::string>{"文档有误"});
    EXPECT_EQ(toolkit.window("FormProcess"), nullptr) << "a faulty file opens no session window";

    std::ofstream(folder.path() / "fw_1.2.hex") << ":0400100001020304E2\n:00000001FF\n";
    state.SessionSucceeded = true;  // left over from an earlier session
    ASSERT_TRUE(main.click("Command1"));
    EXPECT_EQ(texts(), (std::vector<std::string>{"文档有误", "Please reselect COM port!"}))
        << "nothing answers on COM1";
    EXPECT_FALSE(state.SessionSucceeded);
    EXPECT_FALSE(state.UpdateMode);

    sim::DeviceOptions options;
    options.model = {16, 32, 48};
    sim::Device device(options);
    toolkit.addPort(1, &device);
    ASSERT_TRUE(main.click("Command1"));
    EXPECT_EQ(texts().back(), "Successful");
    EXPECT_EQ(toolkit.messages().back().title, "Tool");
    EXPECT_EQ(toolkit.messages().back().icon, ui::Icon::Exclamation);
    EXPECT_EQ(device.announcedVersion(), (std::array<std::uint8_t, 2>{1, 2}));
    EXPECT_EQ(
        std::vector<std::uint8_t>(device.memory().begin() + 0x10, device.memory().begin() + 0x14),
        (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(device.violations(), std::vector<std::string>{});
    EXPECT_FALSE(toolkit.window("FormProcess")->loaded());
}

// The hidden Read and Save buttons' handlers: the device's read window (0x8000 up) into the
// image, and from there into a file that the Update command's reader loads where it was.
TEST_F(Form1Start, ReadBackAndSave) {
    ASSERT_TRUE(start(std::string("16:32:48,Maker,Tool,V1")));
    sim::DeviceOptions options;
    options.model = {9, 9, 9};  // a read-back compares no model
    for (std::size_t i = 0; i < 0x8000; ++i) {
        // Zero blocks, blocks with leading zeros, zeros within the data.
        const std::size_t block = i / 32;
        const bool zero = block % 5 == 0 || i % 32 < block % 7 || i % 9 == 0;
        options.memory[sim::kReadWindow + i] = zero ? 0 : static_cast<std::uint8_t>(i * 31 + block);
    }
    // A read block that starts like an acknowledgement.
    options.memory[sim::kReadWindow + 0x80] = 0x79;
    sim::Device device(options);
    state.FirmwareImage[0x8000] = 0xAA;

    form->onReadClicked();
    ASSERT_EQ(toolkit.messages().size(), 1u);
    EXPECT_EQ(toolkit.messages()[0].text, "Please reselect COM port!") << "nothing on COM1";

    toolkit.addPort(1, &device);
    form->onReadClicked();
    ASSERT_EQ(toolkit.messages().size(), 2u);
    EXPECT_EQ(toolkit.messages()[1].text, "读取成功");
    EXPECT_EQ(toolkit.messages()[1].title, "Tool");
    EXPECT_EQ(toolkit.messages()[1].icon, ui::Icon::Exclamation);
    EXPECT_TRUE(std::equal(state.FirmwareImage.begin(), state.FirmwareImage.begin() + 0x8000,
                           device.readWindow().begin()));
    EXPECT_EQ(state.FirmwareImage[0x8000], 0xAA) << "nothing is read above 0x7FFF";
    EXPECT_EQ(std::make_pair(state.ImageStart, state.ImageEnd), std::make_pair(0, 0x7FFF));
    EXPECT_FALSE(state.ReadMode);
    EXPECT_EQ(device.violations(), std::vector<std::string>{});

    const auto saved = folder.path() / "read.hex";
    toolkit.chooseFileNext(saved.string());
    form->onSaveClicked();
    EXPECT_EQ(toolkit.messages().size(), 2u);
    AppState loaded;  // all zero, like the bytes the records leave out
    image::HexReader reader(loaded);
    std::ifstream file(saved, std::ios::binary);
    EXPECT_EQ(image::LoadHexFile(file, reader), image::LoadResult::Loaded);
    EXPECT_TRUE(std::equal(loaded.FirmwareImage.begin() + 0x8000, loaded.FirmwareImage.end(),
                           device.memory().begin() + 0x8000))
        << "the saved file holds each byte at its address in the device";
    EXPECT_EQ(std::make_pair(loaded.ImageStart, loaded.ImageEnd), std::make_pair(0x8022, 0xFFFF));
}

TEST_F(Form1Start, ComButtonOpensThePortDialogModally) {
    ASSERT_TRUE(start(std::string("1:2:3,Maker,Tool,V1")));
    auto& main = dynamic_cast<ui::headless::HeadlessWindow&>(form->window());
    bool updateRan = false;
    toolkit.whenModalIdle([&](ui::headless::HeadlessWindow& dialog) {
        EXPECT_EQ(dialog.entry().name, "FormComPort");
        updateRan = main.click("Command1");
        EXPECT_TRUE(dialog.closeBox());
    });
    ASSERT_TRUE(main.click("CommandCom"));
    EXPECT_FALSE(updateRan) << "the main window takes no clicks while the dialog is open";
    EXPECT_FALSE(main.click("CommandRead")) << "hidden buttons take no clicks";
    EXPECT_FALSE(main.click("CommandSave"));
    EXPECT_EQ(state.ComPortNumber, 1);
}

}  // namespace
}  // namespace comflash::desktop
