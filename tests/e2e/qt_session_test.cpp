// The session window on the real toolkit: QSerialPort over a pseudo-terminal to comflash-sim,
// in real time, on the offscreen platform.
#include <signal.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "desktop/main_window.h"
#include "desktop/session_window.h"
#include "record_vectors.h"
#include "settings/com_port_names.h"
#include "settings/file_registry_store.h"
#include "sim_process.h"
#include "temp_folder.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace comflash::e2e {
namespace {

using Strings = std::vector<std::string>;

// Closes every message box as soon as it shows (OK, or Cancel at the retry prompt) and keeps
// its text.
class BoxCloser {
  public:
    BoxCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text().toStdString());
                box->close();
            }
        });
        timer_.start(10);
    }
    Strings texts;

  private:
    QTimer timer_;
};

struct Outcome {
    bool succeeded = false;
    Strings boxes;
    int simExit = -1;
    std::string dump;
};

class QtSessionTest : public ::testing::Test {
  protected:
    std::string file(const char* name) const { return (folder_.path() / name).string(); }

    // Writes ImageStart..ImageEnd of the state's image through comflash-sim started with `args`.
    // With endDevice the device is stopped after the session (it waits for a session that
    // ends with a go frame otherwise).
    Outcome update(AppState& state, std::vector<std::string> args, bool endDevice = false) {
        args.insert(args.end(), {"--model", "16:32:48", "--dump", file("dump.bin"), "--log",
                                 file("log.txt"), "--sessions", "1"});
        SimProcess sim(args);
        Outcome outcome;
        if (sim.path().empty()) return outcome;
        {
            ui::qt::QtToolkit toolkit([&sim](int port) { return port == 1 ? sim.path() : ""; });
            const auto window = toolkit.createWindow(ui::kFormProcess);
            desktop::SessionWindow session(state, toolkit, *window);
            BoxCloser closer;
            // A session that hangs fails the test instead of the run.
            QTimer::singleShot(60'000, [&window] { window->unload(); });
            state.UpdateMode = true;
            window->showModal();
            outcome.succeeded = state.SessionSucceeded;
            outcome.boxes = closer.texts;
        }
        if (endDevice) sim.signal(SIGTERM);
        outcome.simExit = sim.wait();
        std::ifstream dump(file("dump.bin"), std::ios::binary);
        outcome.dump.assign(std::istreambuf_iterator<char>(dump), {});
        return outcome;
    }

    static AppState imageState(std::int32_t start, std::int32_t end) {
        AppState state;
        state.ComPortNumber = 1;
        state.UseEnglish = true;
        state.AppTitle = "Flasher";
        state.ModelId = {16, 32, 48};
        state.FirmwareMajor = 1;
        state.FirmwareMinor = 3;
        state.ImageStart = start;
        state.ImageEnd = end;
        for (std::size_t i = 0; i < state.FirmwareImage.size(); ++i) {
            state.FirmwareImage[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
        }
        return state;
    }

    // The device's memory after the update: erased units with the image in them.
    static std::string written(const AppState& state) {
        std::string memory(0x10000, '\xFF');
        for (std::int32_t a = state.ImageStart; a <= state.ImageEnd; ++a) {
            memory[static_cast<std::size_t>(a)] =
                static_cast<char>(state.FirmwareImage[static_cast<std::size_t>(a)]);
        }
        return memory;
    }

    std::string log() const {
        std::ifstream in(file("log.txt"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    test::TempFolder folder_;
};

TEST_F(QtSessionTest, UpdatesOverAPseudoTerminal) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::int32_t start, end;
        const char* inLog;
    };
    const std::vector<Case> cases{
        {"32 KiB", {}, 0x0000, 0x7FFF, "session ended: go to 0x0"},
        {"a device that listens at 9600 only",
         {"--baud", "9600"},
         0x1010,
         0x1150,
         "garbled at 19200 baud"},
        {"lost and refused frames",
         {"--fault", "drop:3", "--fault", "nak:5"},
         0x1010,
         0x1150,
         "(fault nak)"},
        {"noise ahead of a reply, and a late reply that crosses a resend",
         {"--fault", "garbage:3", "--fault", "delay:7:1500"},
         0x1010,
         0x1150,
         "(fault delay)"},
    };
    for (const auto& c : cases) {
        AppState state = imageState(c.start, c.end);
        const Outcome outcome = update(state, c.args);
        EXPECT_TRUE(outcome.succeeded) << c.name;
        EXPECT_EQ(outcome.boxes, Strings{}) << c.name;
        EXPECT_EQ(outcome.simExit, 0) << c.name << ": the device saw a violation\n" << log();
        EXPECT_TRUE(outcome.dump == written(state)) << c.name << ": the dump differs";
        EXPECT_NE(log().find(c.inLog), std::string::npos) << c.name << "\n" << log();
    }
}

// Sessions the device ends: each with its message, none successful.
TEST_F(QtSessionTest, FailuresOverAPseudoTerminal) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Strings boxes;
    };
    const std::vector<Case> cases{
        {"the device hangs up", {"--fault", "hangup:3"}, {"Please reselect COM port!"}},
        {"another model", {"--fault", "model:1"}, {"Model Error！"}},
        {"write commands refused", {"--fault", "nak:3-100"}, {"读写失败,地址 = 1010"}},
    };
    for (const auto& c : cases) {
        AppState state = imageState(0x1010, 0x1150);
        const Outcome outcome = update(state, c.args, /*endDevice=*/true);
        EXPECT_FALSE(outcome.succeeded) << c.name;
        EXPECT_EQ(outcome.boxes, c.boxes) << c.name;
        EXPECT_EQ(outcome.simExit, 0) << c.name << ": the device saw a violation\n" << log();
    }
}

// The real main window: Update with COM1 linked to comflash-sim writes the firmware file of
// the program's folder and says "Successful".
TEST_F(QtSessionTest, UpdateButtonOfTheMainWindow) {
    const std::filesystem::path program = folder_.path() / "program";
    const std::filesystem::path config = folder_.path() / "config";
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(config / "comflash" / "ports");
    std::ofstream(program / "Config.txt") << "16:32:48,Maker,Tool,V1.0\r\n";
    std::string expected(0x10000, '\xFF');
    {
        std::ofstream hex(program / "fw_2.7.hex");
        for (unsigned address = 0x2008; address < 0x2300; address += 16) {
            std::vector<std::uint8_t> data;
            for (unsigned i = 0; i < 16; ++i) {
                data.push_back(static_cast<std::uint8_t>((address + i) * 3));
                expected[address + i] = static_cast<char>(data.back());
            }
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data)
                << "\r\n";
        }
        hex << ":00000001FF\r\n";
    }

    SimProcess sim({"--model", "16:32:48", "--dump", file("dump.bin"), "--sessions", "1"});
    ASSERT_FALSE(sim.path().empty());
    std::filesystem::create_symlink(sim.path(), config / "comflash" / "ports" / "COM1");
    const std::string ports = settings::portsFolderFor(config.c_str(), nullptr);
    ui::qt::QtToolkit toolkit([&ports](int port) { return settings::comPortDevice(port, ports); });
    settings::FileRegistryStore store((config / "comflash").string());
    AppState state;
    desktop::MainWindow form1(state, toolkit, store, program.string());
    ASSERT_TRUE(form1.show());
    BoxCloser closer;
    auto* update =
        static_cast<ui::qt::QtWindow&>(form1.window()).widget().findChild<QPushButton*>("Command1");
    ASSERT_NE(update, nullptr);
    QTimer::singleShot(0, update, &QPushButton::click);
    EXPECT_TRUE(QTest::qWaitFor([&closer] { return !closer.texts.empty(); }, 60'000));
    EXPECT_EQ(closer.texts, Strings{"Successful"});
    form1.window().unload();

    EXPECT_EQ(sim.wait(), 0);
    std::ifstream dump(file("dump.bin"), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(dump), {}) == expected)
        << "the device holds the firmware file";
}

}  // namespace
}  // namespace comflash::e2e
