// Several sessions at once on one headless toolkit, in virtual time. Each port's session must
// be exactly the one it would be alone: the same frames at the same moments, the same end.
#include "cli/production_run.h"

#include "cli/line_display.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "desktop/session_window.h"
#include "request_of.h"
#include "sim/device.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::cli {
namespace {

using namespace std::chrono_literals;
using ui::headless::HeadlessComm;
using ui::headless::HeadlessToolkit;
using ui::headless::HeadlessWindow;
using Strings = std::vector<std::string>;

const std::array<std::uint8_t, 3> kModel{0x10, 0x20, 0x30};
constexpr std::size_t kCommandFrameBytes = 8;  // the longest command frame, the handshake

// What a port has behind it.
struct Port {
    const char* name;
    Strings faults;
    std::array<std::uint8_t, 3> model = kModel;
    bool busy = false;
    bool missing = false;
    std::chrono::milliseconds unplugAt{0};  // 0: never
    // Prompts answered Retry because blocks were accepted since the one before (nobody is
    // asked; the session alone gets them as scripted answers).
    int progressRetries = 0;
};

AppState loadedState() {
    AppState state;
    state.UseEnglish = true;
    state.AppTitle = "Flasher";
    state.ModelId = kModel;
    state.FirmwareMajor = 1;
    state.FirmwareMinor = 3;
    state.ImageStart = 0x1010;
    state.ImageEnd = 0x1A20;
    for (std::size_t i = 0; i < state.FirmwareImage.size(); ++i) {
        state.FirmwareImage[i] = static_cast<std::uint8_t>(i * 5 + i / 256);
    }
    return state;
}

std::unique_ptr<sim::Device> device(const Port& port) {
    sim::DeviceOptions options;
    options.model = port.model;
    options.lineTiming = true;  // replies take their time on the line, as on a real one
    for (const std::string& fault : port.faults) EXPECT_FALSE(options.faults.add(fault)) << fault;
    return std::make_unique<sim::Device>(options);
}

void attach(HeadlessToolkit& toolkit, int number, const Port& port, sim::Device& device) {
    if (port.missing) return;
    toolkit.addPort(number, &device).busy = port.busy;
    if (port.unplugAt > 0ms) {
        toolkit.clock().schedule(port.unplugAt, [&toolkit, number] { toolkit.unplug(number); });
    }
}

// Frames as "time: bytes" (microseconds from the start; a data block as its length and the
// sum of its bytes; the rate when not 19200).
Strings frames(const std::vector<ui::headless::HeadlessSerialPort::Transmission>& transmissions) {
    Strings lines;
    for (const auto& sent : transmissions) {
        std::string line = std::to_string(sent.at.count()) + ":";
        if (sent.bytes.size() > kCommandFrameBytes) {
            unsigned sum = 0;
            for (const std::uint8_t byte : sent.bytes) sum += byte;
            line += " data " + std::to_string(sent.bytes.size()) + " sum " + std::to_string(sum);
        }
        for (std::size_t i = 0; i < sent.bytes.size() && i < kCommandFrameBytes; ++i) {
            char digits[4];
            std::snprintf(digits, sizeof digits, " %02X", sent.bytes[i]);
            line += digits;
        }
        if (sent.baud != 19200) line += " @" + std::to_string(sent.baud);
        lines.push_back(line);
    }
    return lines;
}

// The port's session alone, as the window runs it: its frames, its last message, its end.
struct Alone {
    Strings frames;
    std::string result;
    bool succeeded;
};

Alone runAlone(const Port& port, int retries) {
    HeadlessToolkit toolkit;
    auto dev = device(port);
    attach(toolkit, 1, port, *dev);
    AppState state = loadedState();
    state.ComPortNumber = 1;
    state.UpdateMode = true;
    for (int i = 0; i < retries; ++i) toolkit.answerNext(ui::Answer::Retry);
    auto window = toolkit.createWindow(ui::kFormProcess);
    desktop::SessionWindow process(state, toolkit, *window);
    window->showModal();
    toolkit.drive();
    Alone alone{
        frames(dynamic_cast<HeadlessWindow&>(*window).headlessComm("MSComm1").transmissions()),
        {},
        state.SessionSucceeded};
    if (state.SessionSucceeded) {
        alone.result = "Successful";
    } else if (!toolkit.messages().empty()) {
        const auto& last = toolkit.messages().back();
        alone.result = last.text + (last.buttons == ui::Buttons::RetryCancel ? " Cancel" : "");
    } else {
        alone.result = std::string(kHandshakeRefused);
    }
    return alone;
}

using testing::requestOf;

sim::Memory written(const AppState& state) {
    sim::Memory memory = sim::erasedMemory();
    for (std::int32_t a = state.ImageStart; a <= state.ImageEnd; ++a) {
        memory[static_cast<std::size_t>(a)] = state.FirmwareImage[static_cast<std::size_t>(a)];
    }
    return memory;
}

TEST(ProductionRunTest, EachPortRunsAsIfAlone) {
    struct Case {
        const char* name;
        std::vector<Port> ports;
        int retries;
        int exit;  // the worst port's status
    };
    const std::vector<Case> cases = {
        {"four healthy devices", {{"COM1", {}}, {"COM2", {}}, {"COM3", {}}, {"COM4", {}}}, 0, 0},
        {"another model and a silent device beside two healthy ones",
         {{"COM1", {}}, {"COM2", {}, {1, 2, 3}}, {"COM3", {"drop:1-1000"}}, {"COM4", {}}},
         0,
         1},
        {"faults on the line, each answered on its own port",
         {{"COM1", {"nak:3", "drop:5", "garbage:7"}},
          {"COM2", {"nak:2-100"}},
          {"COM3", {"delay:4:1500", "corrupt:9"}},
          {"COM4", {"hangup:6"}}},
         0,
         1},
        {"ports that cannot be used",
         {{"COM1", {}},
          {"COM2", {}, kModel, true},
          {"COM3", {}, kModel, false, true},
          {"COM4", {}, kModel, false, false, 300ms}},
         0,
         1},
        {"no device reached on every port that failed",
         {{"COM1", {}}, {"COM2", {}, kModel, true}, {"COM3", {"drop:1-1000"}}},
         0,
         3},
        {"silent devices answered Retry twice, then Cancel",
         {{"COM1", {"drop:2-1000"}},
          {"COM2", {}},
          {"COM3", {"drop:4-1000"}, kModel, false, false, 0ms, 1}},
         2,
         1},
        {"the device refuses the handshake", {{"COM1", {"nak:1-1000"}}, {"COM2", {}}}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessToolkit toolkit;
        std::vector<std::unique_ptr<sim::Device>> devices;
        Strings names;
        for (std::size_t i = 0; i < c.ports.size(); ++i) {
            devices.push_back(device(c.ports[i]));
            attach(toolkit, static_cast<int>(i + 1), c.ports[i], *devices.back());
            names.emplace_back(c.ports[i].name);
        }
        const AppState loaded = loadedState();
        std::vector<ui::headless::HeadlessSerialPort*> serials(c.ports.size());
        const PortSupply supply{[&](std::size_t i) -> std::unique_ptr<driver::SerialPort> {
                                    auto port = toolkit.makePort(static_cast<int>(i + 1));
                                    serials[i] = port.get();
                                    return port;
                                },
                                [&] { return toolkit.makeTimer(); }};
        ProductionRun run(
            requestOf(loaded), loaded.FirmwareImage, supply, names, c.retries, [&toolkit] {
                return std::chrono::duration_cast<std::chrono::milliseconds>(toolkit.clock().now());
            });
        int endings = 0;
        run.onEnded = [&endings] { ++endings; };
        run.start();
        toolkit.drive();
        ASSERT_TRUE(run.ended());
        EXPECT_EQ(endings, 1);
        EXPECT_TRUE(toolkit.messages().empty()) << "no session shows a box to anybody";

        bool all = true;
        const std::vector<PortStatus> status = run.status();
        for (std::size_t i = 0; i < c.ports.size(); ++i) {
            const Port& port = c.ports[i];
            SCOPED_TRACE(port.name);
            const Alone alone = runAlone(port, c.retries + port.progressRetries);
            EXPECT_EQ(frames(serials[i]->transmissions()), alone.frames);
            EXPECT_EQ(status[i].port, port.name);
            EXPECT_TRUE(status[i].ended);
            EXPECT_EQ(status[i].succeeded, alone.succeeded);
            EXPECT_EQ(status[i].result, alone.result);
            EXPECT_FALSE(serials[i]->isOpen());
            EXPECT_EQ(devices[i]->violations(), Strings{});
            if (alone.succeeded) {
                EXPECT_EQ(devices[i]->memory(), written(loaded));
                EXPECT_DOUBLE_EQ(status[i].fraction, 1.0);
            }
            all = all && alone.succeeded;
        }
        EXPECT_EQ(all, c.exit == 0);
        EXPECT_EQ(run.exitStatus(), c.exit);
    }
}

PortStatus port(const char* name, double fraction, session::Session::Step step,
                const char* result = nullptr, bool succeeded = false, int seconds = 0) {
    PortStatus status;
    status.port = name;
    status.fraction = fraction;
    status.step = step;
    status.ended = result != nullptr;
    status.result = result == nullptr ? "" : result;
    status.succeeded = succeeded;
    status.elapsed = std::chrono::seconds(seconds);
    return status;
}

// Without a terminal a port gets a line at each further quarter and at its end; on a terminal
// every line is redrawn in place.
TEST(ProductionRunTest, Display) {
    using Step = session::Session::Step;
    LineDisplay plain(false);
    struct Round {
        std::vector<PortStatus> ports;
        std::string printed;
    };
    const std::vector<Round> rounds = {
        {{port("COM1", 0, Step::Handshake), port("/dev/ttyUSB1", 0, Step::Handshake)}, ""},
        {{port("COM1", 0.24, Step::Write), port("/dev/ttyUSB1", 0.25, Step::Erase)},
         "/dev/ttyUSB1   25%  erasing\n"},
        {{port("COM1", 0.80, Step::Write), port("/dev/ttyUSB1", 0.49, Step::Write)},
         "COM1           80%  writing\n"},
        {{port("COM1", 1, Step::Go), port("/dev/ttyUSB1", 0.5, Step::Write)},
         "/dev/ttyUSB1   50%  writing\n"},
        {{port("COM1", 1, Step::Go, "Successful", true, 18),
          port("/dev/ttyUSB1", 0.5, Step::Write, "读写失败,地址 = 1100", false, 7)},
         "COM1          100%  Successful\n/dev/ttyUSB1   50%  读写失败,地址 = 1100\n"},
        {{port("COM1", 1, Step::Go, "Successful", true, 18),
          port("/dev/ttyUSB1", 0.5, Step::Write, "读写失败,地址 = 1100", false, 7)},
         ""},
    };
    for (const Round& round : rounds) EXPECT_EQ(plain.update(round.ports), round.printed);

    LineDisplay terminal(true);
    const std::vector<PortStatus> two = {port("COM1", 0.5, Step::Write),
                                         port("COM12", 0, Step::Handshake, "Model Error！")};
    const std::string lines =
        "\rCOM1   [##########..........]  50%  writing\x1b[K\n"
        "\rCOM12  [....................]   0%  Model Error！\x1b[K\n";
    EXPECT_EQ(terminal.update(two), lines);
    EXPECT_EQ(terminal.update(two), "\x1b[2A" + lines) << "drawn again over the same lines";

    // A narrow terminal: each line is cut to one column less than the width, a wide
    // character whole or not at all.
    LineDisplay narrow(true, 42);
    EXPECT_EQ(narrow.update({two[1]}), "\rCOM12  [....................]   0%  Model\x1b[K\n");
    LineDisplay wide(true, 49);
    EXPECT_EQ(wide.update({two[1]}), "\rCOM12  [....................]   0%  Model Error\x1b[K\n")
        << "the full-width mark takes two columns";

    EXPECT_EQ(LineDisplay::summary(rounds.back().ports),
              "Port          Seconds  Result\n"
              "COM1             18.0  Successful\n"
              "/dev/ttyUSB1      7.0  读写失败,地址 = 1100\n"
              "1 of 2 ports succeeded.\n");
}

}  // namespace
}  // namespace comflash::cli
