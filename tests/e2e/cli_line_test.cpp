// comflash-cli writing several devices at once, each a comflash-sim process on its own
// pseudo-terminal: every healthy device gets the image exactly as it would alone, every
// failed one is named with its own words, and the exit status tells whether all succeeded.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "record_vectors.h"
#include "sim_process.h"
#include "temp_folder.h"

namespace comflash::e2e {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kModel = "16:32:48";

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A text that matches itself in a regular expression.
std::string literal(const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

// The device's log without its times: the frames it saw and what it answered, in order.
std::string frames(const std::filesystem::path& log) {
    std::istringstream in(contents(log));
    std::string text;
    for (std::string line; std::getline(in, line);) text += line.substr(line.find(' ') + 1) + "\n";
    return text;
}

// A device on the line: the simulator's arguments beyond its model, and its own model.
struct Device {
    Strings args;
    const char* model = kModel;
};

class CliLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        std::filesystem::create_directories(ports());
        // 0x0100 to 0x0BFF: three erase units, all written.
        std::ofstream hex(file("fw_2.07.hex"), std::ios::binary);
        memory_.assign(0x10000, '\xFF');
        for (unsigned address = 0x0100; address < 0x0C00; address += 16) {
            std::vector<std::uint8_t> data;
            for (unsigned i = 0; i < 16; ++i) {
                data.push_back(static_cast<std::uint8_t>((address + i) * 13 + 5));
            }
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data)
                << "\r\n";
            std::copy(data.begin(), data.end(), memory_.begin() + address);
        }
        hex << ":00000001FF\r\n";
    }

    std::string file(const std::string& name) const { return (folder_.path() / name).string(); }
    std::filesystem::path ports() const { return folder_.path() / "config/comflash/ports"; }

    // Devices linked as COM1, COM2, ... with dumps and logs named by `tag` and their number.
    void startDevices(const std::vector<Device>& devices, const std::string& tag) {
        sims_.clear();
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            Strings args = devices[i].args;
            args.insert(args.end(), {"--model", devices[i].model, "--dump", file(tag + n + ".bin"),
                                     "--log", file(tag + n + ".log")});
            sims_.push_back(std::make_unique<SimProcess>(args));
            std::filesystem::remove(ports() / ("COM" + n));
            std::filesystem::create_symlink(sims_.back()->path(), ports() / ("COM" + n));
        }
    }
    // Ends every device (the dump is written then); true when each ended well.
    bool stopDevices() {
        bool all = true;
        for (auto& sim : sims_) {
            sim->signal(SIGTERM);
            all = sim->wait() == 0 && all;
        }
        return all;
    }
    CliRun write(const Strings& ports) {
        Strings args = {"write", file("fw_2.07.hex"), "--model", kModel};
        for (const std::string& port : ports) args.insert(args.end(), {"--port", port});
        return runCli(args, (folder_.path() / "config").string());
    }

    test::TempFolder folder_;
    std::string memory_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

TEST_F(CliLineTest, EveryPortAsIfAlone) {
    struct Case {
        const char* name;
        std::vector<Device> devices;
        int exit;
        Strings results;  // per port, in the summary
    };
    const Device healthy;
    const std::vector<Case> cases = {
        {"four healthy devices",
         {healthy, healthy, healthy, healthy},
         0,
         {"Successful", "Successful", "Successful", "Successful"}},
        {"another model and a silent device",
         {healthy, {{}, "1:2:3"}, {{"--fault", "drop:1-1000"}}, healthy},
         1,
         {"Successful", "Model Error！", "Check connection!Retry or cancel? Cancel", "Successful"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startDevices(c.devices, "line");
        const CliRun run = write({"COM1", "COM2", "COM3", "COM4"});
        EXPECT_TRUE(stopDevices());
        EXPECT_EQ(run.exit, c.exit) << run.out << run.err;
        EXPECT_EQ(run.err, "");
        int succeeded = 0;
        for (std::size_t i = 0; i < c.devices.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            SCOPED_TRACE("COM" + n);
            // The port's row of the table: name, seconds, result.
            const std::regex row("\nCOM" + n + " +[0-9]+\\.[0-9] +" + literal(c.results[i]) + "\n");
            EXPECT_TRUE(std::regex_search(run.out, row)) << run.out;
            const bool success = c.results[i] == "Successful";
            succeeded += success ? 1 : 0;
            const std::string dump = contents(file("line" + n + ".bin"));
            if (success) {
                EXPECT_TRUE(dump == memory_) << "the dump differs from the image";
            } else {
                EXPECT_TRUE(dump == std::string(0x10000, '\xFF')) << "nothing was written";
            }
        }
        EXPECT_TRUE(has(run.out, std::to_string(succeeded) + " of 4 ports succeeded.\n"))
            << run.out;

        // The healthy devices saw exactly what one alone sees.
        for (std::size_t i = 0; i < c.devices.size(); ++i) {
            if (c.results[i] != "Successful") continue;
            startDevices({c.devices[i]}, "alone");
            const CliRun alone = write({"COM1"});
            EXPECT_TRUE(stopDevices());
            EXPECT_EQ(alone.exit, 0) << alone.err;
            EXPECT_EQ(frames(file("line" + std::to_string(i + 1) + ".log")),
                      frames(file("alone1.log")))
                << "COM" << i + 1;
        }
    }
}

// What is refused before any port is opened: a faulty file, two names for one device, a
// read with several ports. No device sees a byte.
TEST_F(CliLineTest, BadInputReachesNoPort) {
    startDevices({{}, {}}, "bad");
    std::filesystem::create_symlink(ports() / "COM2", ports() / "COM3");
    std::ofstream(file("faulty.hex")) << ":10010000ZZ\r\n";
    const std::string config = (folder_.path() / "config").string();
    struct Case {
        Strings args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"write", file("faulty.hex"), "--port", "COM1", "--port", "COM2", "--model", kModel},
         "文档有误"},
        {{"write", file("fw_2.07.hex"), "--port", "COM2", "--port", "COM3", "--model", kModel},
         "COM2 and COM3 are the same device"},
        {{"write", file("fw_2.07.hex"), "--port", "COM1", "--port", "com1", "--model", kModel},
         "COM1 and com1 are the same device"},
        {{"read", file("out.hex"), "--port", "COM1", "--port", "COM2", "--model", kModel},
         "read takes one --port"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.args, config);
        EXPECT_EQ(run.exit, 2) << c.message;
        EXPECT_TRUE(has(run.err, c.message)) << run.err;
    }
    EXPECT_TRUE(stopDevices());
    for (const char* log : {"bad1.log", "bad2.log"}) {
        EXPECT_FALSE(has(contents(file(log)), " rx ")) << contents(file(log));
    }
}

// On a terminal each port has one line, drawn again in place until the table.
TEST_F(CliLineTest, OnATerminalEachPortHasOneLine) {
    startDevices({{{"--line-timing"}}, {{"--line-timing"}}}, "tty");
    const CliRun run = runCliOnTerminal(
        {"write", file("fw_2.07.hex"), "--port", "COM1", "--port", "COM2", "--model", kModel},
        (folder_.path() / "config").string(), "never asked", "");
    EXPECT_TRUE(stopDevices());
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_TRUE(has(run.out, "\x1b[2A\rCOM1  [")) << "the two lines are drawn again";
    EXPECT_TRUE(has(run.out, "] 100%  Successful\x1b[K\r\n\rCOM2  [")) << run.out;
    EXPECT_TRUE(has(run.out, "2 of 2 ports succeeded.")) << run.out;
}

}  // namespace
}  // namespace comflash::e2e
