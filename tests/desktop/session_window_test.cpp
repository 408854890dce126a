// Whole sessions on the headless toolkit against the simulated device, in virtual time.
#include "desktop/session_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/device.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::desktop {
namespace {

using namespace session;

using namespace std::chrono_literals;
using ui::headless::HeadlessToolkit;
using ui::headless::HeadlessWindow;
using Strings = std::vector<std::string>;

constexpr const char* kTitle = "Flasher";
constexpr const char* kPrompt = "Check connection!Retry or cancel?";
constexpr const char* kReselect = "Please reselect COM port!";
const std::array<std::uint8_t, 3> kModel{0x10, 0x20, 0x30};

// A session window on port 1 with the device behind it, and the image it writes.
struct Rig {
    Rig(std::int32_t start, std::int32_t end) {
        state.ComPortNumber = 1;
        state.UseEnglish = true;
        state.AppTitle = kTitle;
        state.ModelId = kModel;
        state.FirmwareMajor = 1;
        state.FirmwareMinor = 2;
        state.ImageStart = start;
        state.ImageEnd = end;
        for (std::size_t i = 0; i < state.FirmwareImage.size(); ++i) {
            state.FirmwareImage[i] = static_cast<std::uint8_t>(i * 7 + i / 256 + 3);
        }
        options.model = kModel;
    }

    void fault(const std::string& text) { EXPECT_FALSE(options.faults.add(text)) << text; }

    // Opens the session window modally, in update mode unless `read` is set, and returns once
    // it has closed.
    void run() {
        device = std::make_unique<sim::Device>(options);
        toolkit.addPort(1, device.get());
        window = toolkit.createWindow(ui::kFormProcess);
        session = std::make_unique<SessionWindow>(state, toolkit, *window);
        for (auto& [at, event] : events) toolkit.clock().schedule(at, event);
        (read ? state.ReadMode : state.UpdateMode) = true;
        window->showModal();
        finishedAt = toolkit.clock().now();
        toolkit.drive();  // whatever the device still sends reaches a closed port
    }
    HeadlessWindow& headless() { return dynamic_cast<HeadlessWindow&>(*window); }

    // Every transmission: a command frame in hex, a data block as "data" and its length, with
    // the rate appended when it is not 19200.
    Strings trace() {
        Strings lines;
        std::size_t blockSize = 0;  // of the data block announced by the last write command
        for (const auto& sent : headless().headlessComm("MSComm1").transmissions()) {
            std::string line;
            if (sent.bytes.size() == blockSize) {
                line = "data " + std::to_string(sent.bytes.size() - 1);
            } else {
                for (const std::uint8_t byte : sent.bytes) {
                    char digits[4];
                    std::snprintf(digits, sizeof digits, "%02X ", byte);
                    line += digits;
                }
                line.pop_back();
            }
            if (sent.baud != 19200) line += " @" + std::to_string(sent.baud);
            const bool write = sent.bytes.size() == kWriteLength && sent.bytes[1] == kWrite;
            blockSize = write ? sent.bytes[5] + 1u : 0;
            lines.push_back(line);
        }
        return lines;
    }
    Strings messages() {
        Strings texts;
        for (const auto& box : toolkit.messages()) {
            EXPECT_EQ(box.title, kTitle) << box.text;
            EXPECT_EQ(box.icon, ui::Icon::Critical) << box.text;
            EXPECT_EQ(box.buttons == ui::Buttons::RetryCancel,
                      box.text == kPrompt || box.text == "检测连接！重试或取消？")
                << box.text;
            texts.push_back(box.text);
        }
        return texts;
    }
    // The device memory an update of the image leaves: every unit it touched erased, then
    // the image's bytes.
    sim::Memory written() const {
        sim::Memory memory = sim::erasedMemory();
        for (std::int32_t a = state.ImageStart; a <= state.ImageEnd; ++a) {
            memory[static_cast<std::size_t>(a)] = state.FirmwareImage[static_cast<std::size_t>(a)];
        }
        return memory;
    }

    AppState state;
    HeadlessToolkit toolkit;
    sim::DeviceOptions options;
    std::unique_ptr<sim::Device> device;
    std::unique_ptr<ui::Window> window;
    std::unique_ptr<SessionWindow> session;
    std::vector<std::pair<std::chrono::microseconds, std::function<void()>>> events;
    std::chrono::microseconds finishedAt{0};
    bool read = false;
};

// Every session ends in success with the image in the device, or with the expected message
// and the port released; the device never sees a protocol violation.
void checkEnd(Rig& rig, bool success, const Strings& messages, const std::string& name) {
    SCOPED_TRACE(name);
    EXPECT_EQ(rig.state.SessionSucceeded, success);
    EXPECT_EQ(rig.messages(), messages);
    EXPECT_FALSE(rig.window->loaded());
    EXPECT_FALSE(rig.state.UpdateMode);
    EXPECT_FALSE(rig.state.ReadMode);
    EXPECT_FALSE(rig.window->comm("MSComm1").portOpen());
    EXPECT_FALSE(rig.device->inSession()) << "the line was released";
    EXPECT_EQ(rig.device->violations(), Strings{});
    if (success && rig.read) {
        EXPECT_TRUE(std::equal(rig.state.FirmwareImage.begin(),
                               rig.state.FirmwareImage.begin() + 0x8000,
                               rig.device->readWindow().begin()))
            << "the read window arrived";
        EXPECT_EQ(rig.device->lastGoAddress(), 0x9000);
    } else if (success) {
        EXPECT_EQ(rig.device->memory(), rig.written());
        EXPECT_EQ(rig.device->lastGoAddress(), rig.state.ImageStart);
    }
    if (success) {
        EXPECT_EQ(rig.headless().headlessLabel("LabelProcess").history().back(), "Complete:100%");
    }
}

TEST(SessionWindowTest, WorkedExampleFramesAndProgress) {
    Rig rig(0x1010, 0x1150);
    rig.run();
    checkEnd(rig, true, {}, "worked example");
    EXPECT_EQ(rig.trace(), (Strings{
                               "55 82 10 20 30 01 02 D4",
                               "55 01 00 10 00",
                               "55 02 00 10 10 70",
                               "data 112",
                               "55 01 00 10 80",
                               "55 02 00 10 80 80",
                               "data 128",
                               "55 01 00 11 00",
                               "55 02 00 11 00 51",
                               "data 81",
                               "55 03 00 10 10",
                           }));
    EXPECT_EQ(rig.headless().headlessLabel("LabelProcess").history(),
              (Strings{"Complete:%", "Complete:35%", "Complete:35%", "Complete:75%", "Complete:75%",
                       "Complete:100%"}));
    const auto& bar = rig.headless().headlessProgressBar("ProgressBar1").history();
    ASSERT_EQ(bar.size(), 7u) << "the load's 0, then one value per progress text";
    EXPECT_EQ(bar[1], 0.0);
    EXPECT_EQ(bar.back(), 1.0);
    EXPECT_EQ(rig.window->caption(), "Update");
}

// Image shapes: where each block starts and ends, and where the erases fall.
TEST(SessionWindowTest, ImageShapes) {
    struct Case {
        const char* name;
        std::int32_t start, end;
        Strings trace;  // after the handshake
        Strings progress;
    };
    const std::vector<Case> cases{
        {"ends on a unit base",
         0x1000,
         0x1080,
         {"55 01 00 10 00", "55 02 00 10 00 80", "data 128", "55 01 00 10 80", "55 02 00 10 80 01",
          "data 1", "55 03 00 10 00"},
         {"Complete:%", "Complete:100%", "Complete:100%", "Complete:100%"}},
        {"starts mid-unit and crosses into the next one within a page",
         0x1070,
         0x10A0,
         {"55 01 00 10 00", "55 02 00 10 70 10", "data 16", "55 01 00 10 80", "55 02 00 10 80 21",
          "data 33", "55 03 00 10 70"},
         {"Complete:%", "Complete:33%", "Complete:33%", "Complete:100%"}},
        {"one address",
         0x2000,
         0x2000,
         {"55 01 00 20 00", "55 02 00 20 00 01", "data 1", "55 03 00 20 00"},
         {"Complete:%", "Complete:100%"}},
        {"the top of memory",
         0xFF80,
         0xFFFF,
         {"55 01 00 FF 80", "55 02 00 FF 80 80", "data 128", "55 03 00 FF 80"},
         {"Complete:%", "Complete:100%"}},
    };
    for (const auto& c : cases) {
        Rig rig(c.start, c.end);
        rig.run();
        checkEnd(rig, true, {}, c.name);
        Strings trace = rig.trace();
        trace.erase(trace.begin());
        EXPECT_EQ(trace, c.trace) << c.name;
        EXPECT_EQ(rig.headless().headlessLabel("LabelProcess").history(), c.progress) << c.name;
    }
}

// The device's answers to the handshake: the rate it listens at, whether it speeds up, its
// model, a refusal.
TEST(SessionWindowTest, Identification) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> setUp;
        bool success;
        Strings messages;
        Strings trace;  // the first frames
    };
    const std::string hs = "55 82 10 20 30 01 02 D4";
    const std::vector<Case> cases{
        {"answers at 19200 and stays there", [](Rig&) {}, true, {}, {hs, "55 01 00 10 00"}},
        {"listens at 9600 only: the handshake rate alternates, then 19200",
         [](Rig& r) { r.options.handshakeRate = sim::HandshakeRate::Only9600; },
         true,
         {},
         {hs, hs + " @9600", "55 01 00 10 00"}},
        {"answers at 9600 without speeding up: the rate stays, the model is not compared",
         [](Rig& r) {
             r.options.handshakeRate = sim::HandshakeRate::Only9600;
             r.options.speedUp = false;
             r.fault("model:2");
         },
         true,
         {},
         {hs, hs + " @9600", "55 01 00 10 00 @9600"}},
        {"another model",
         [](Rig& r) {
             r.options.model = {0x10, 0x20, 0x31};
         },
         false,
         {"Model Error！"},
         {hs}},
        {"refused with byte 1 = 55: the session ends without a word",
         [](Rig& r) { r.fault("nak:1"); },
         false,
         {},
         {hs}},
        {"refused without speed-up: sent again, ten times at most",
         [](Rig& r) {
             r.options.speedUp = false;
             r.fault("nak:1-20");
         },
         false,
         {"读写失败,地址 = 1010"},
         {hs, hs + " @9600", hs, hs + " @9600", hs, hs + " @9600", hs, hs + " @9600", hs,
          hs + " @9600", hs}},
    };
    for (const auto& c : cases) {
        Rig rig(0x1010, 0x1150);
        c.setUp(rig);
        rig.run();
        checkEnd(rig, c.success, c.messages, c.name);
        Strings trace = rig.trace();
        if (c.success) trace.resize(c.trace.size());
        EXPECT_EQ(trace, c.trace) << c.name;
    }
}

// Lost, refused, failed and late replies. Each scenario names the device's faults (frames
// numbered from 1: the handshake, the first erase, the first write command, its data block,
// ...), what the user answers to prompts, and how the session must end.
TEST(SessionWindowTest, FaultsAndRetries) {
    struct Case {
        const char* name;
        Strings faults;
        std::vector<ui::Answer> answers;
        bool success;
        Strings messages;
        int transmissions;  // 0: not checked
    };
    using A = ui::Answer;
    const std::vector<Case> cases{
        {"a refused write command is sent again", {"nak:3"}, {}, true, {}, 12},
        {"a refused erase is sent again and its acceptance goes on with the write",
         {"nak:2"},
         {},
         true,
         {},
         12},
        {"a resent erase refused too, then accepted", {"nak:2-3"}, {}, true, {}, 13},
        {"a failed data block goes again through its write command",
         {"corrupt:4"},
         {},
         true,
         {},
         13},
        // The one answer that comes may be the block's, late, or the resent write command's:
        // the write command goes once more after the device's block window.
        {"a lost data-block reply times out: write command, then the block",
         {"drop:4"},
         {},
         true,
         {},
         14},
        {"a lost go reply times out; the resent go is accepted", {"drop:11"}, {}, true, {}, 12},
        {"an unreadable reply times out after 3 s", {"corrupt:3"}, {}, true, {}, 12},
        {"noise ahead of a reply", {"garbage:3", "garbage:6"}, {}, true, {}, 0},
        {"a late command reply crosses the resend", {"delay:3:1500"}, {}, true, {}, 0},
        {"a late block reply crosses the resent write command", {"delay:4:1500"}, {}, true, {}, 0},
        {"a reply cut short", {"partial:1", "partial:4"}, {}, true, {}, 0},
        {"erases fail ten times: the failure end",
         {"nak:2-40"},
         {},
         false,
         {"读写失败,地址 = 1010"},
         12},
        {"write commands refused for ever: the failure end",
         {"nak:3-40"},
         {},
         false,
         {"读写失败,地址 = 1010"},
         13},
        {"erases of the third unit fail: the message names the next address, unpadded",
         {"nak:8-100"},
         {},
         false,
         {"读写失败,地址 = 110"},
         0},
        {"silent: five resends, the prompt, Retry, five more, Cancel",
         {"drop:2-100"},
         {A::Retry, A::Cancel},
         false,
         {kPrompt, kPrompt},
         13},
        {"silent for a while: Retry, then the device answers",
         {"drop:2-7"},
         {A::Retry},
         true,
         {kPrompt},
         0},
        {"refusals count with time-outs: five NAKs, then one time-out prompts at once",
         {"nak:3-7", "drop:8"},
         {A::Cancel},
         false,
         {kPrompt},
         8},
    };
    for (const auto& c : cases) {
        Rig rig(0x1010, 0x1150);
        for (const auto& fault : c.faults) rig.fault(fault);
        for (const auto answer : c.answers) rig.toolkit.answerNext(answer);
        rig.run();
        checkEnd(rig, c.success, c.messages, c.name);
        if (c.transmissions != 0) {
            EXPECT_EQ(rig.trace().size(), static_cast<std::size_t>(c.transmissions)) << c.name;
        }
    }
}

TEST(SessionWindowTest, SilenceCostsOneSecondPerResend) {
    Rig rig(0x1010, 0x1150);
    rig.fault("drop:2-100");
    rig.run();  // the prompt is answered Cancel
    checkEnd(rig, false, {kPrompt}, "silent");
    EXPECT_EQ(rig.trace(),
              (Strings{"55 82 10 20 30 01 02 D4", "55 01 00 10 00", "55 01 00 10 00",
                       "55 01 00 10 00", "55 01 00 10 00", "55 01 00 10 00", "55 01 00 10 00"}));
    const auto& sent = rig.headless().headlessComm("MSComm1").transmissions();
    EXPECT_EQ(sent[2].at - sent[1].at, 1000ms);
    EXPECT_EQ(sent[6].at - sent[1].at, 5000ms);
    EXPECT_EQ(rig.finishedAt - sent[6].at, 1001ms) << "the prompt at the sixth time-out";
}

// The reply to a resent write command arrives ahead of the echo of the data block that the
// late first reply let go. Read one byte too early, the block's own XOR byte, 79 here, would
// pass for the acknowledgement of a block the device refused.
TEST(SessionWindowTest, ShiftedEchoNeverPassesForAnAcknowledgement) {
    Rig rig(0x1010, 0x1150);
    auto& image = rig.state.FirmwareImage;
    const std::span<const std::uint8_t> block(image.begin() + 0x1011, image.begin() + 0x1080);
    image[0x1010] = static_cast<std::uint8_t>(xorOf(block) ^ kAck);
    rig.fault("delay:3:1500");
    rig.fault("nak:5");
    rig.run();
    checkEnd(rig, true, {}, "shifted echo");
}

// A late reply arrives while the prompt is open: the session goes on inside the box, and
// Retry, answered while it does, sends nothing of its own.
TEST(SessionWindowTest, LateReplyWhileThePromptIsOpen) {
    Rig rig(0x1010, 0x1150);
    rig.fault("drop:2-6");
    rig.fault("delay:7:1500");  // the fifth resend of the erase is answered after 1.5 s
    rig.fault("drop:8");        // the erase sent inside the box is lost
    rig.toolkit.answerNext(ui::Answer::Retry, 3000ms);
    rig.run();
    checkEnd(rig, true, {kPrompt}, "late reply");
    Strings trace = rig.trace();
    ASSERT_GE(trace.size(), 11u);
    // The erase's late answer comes 0.5 s into the prompt while five more copies are owed:
    // whichever copy it answers, the unit is erased, so it is taken once the line has settled
    // (0.2 s). The write command that follows, inside the box, is lost; the box's Retry at
    // 3 s finds a frame sent since it opened, which gets a time-out of its own (1 s), and a
    // write command is resent only once the line has drained (3.1 s).
    EXPECT_EQ(Strings(trace.begin() + 6, trace.begin() + 11),
              (Strings{"55 01 00 10 00", "55 02 00 10 10 70", "55 02 00 10 10 70", "data 112",
                       "55 01 00 10 80"}));
    const auto& sent = rig.headless().headlessComm("MSComm1").transmissions();
    EXPECT_EQ(sent[7].at - sent[6].at, 1500ms + 200ms);
    EXPECT_EQ(sent[8].at - sent[7].at, (1000ms + 3000ms - 1700ms) + 1000ms + 3100ms);
}

// The port fails during the session: pulled out, hung up, or refusing the faster rate.
TEST(SessionWindowTest, PortFailures) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> setUp;
        bool useEnglish;
        std::string message;
        std::size_t transmissions;
    };
    const std::vector<Case> cases{
        {"no such port", [](Rig& r) { r.state.ComPortNumber = 7; }, true, kReselect, 0},
        {"port in use", [](Rig& r) { r.state.ComPortNumber = 2; }, false, "请重新选择端口！", 0},
        {"unplugged mid-session",
         [](Rig& r) { r.events.emplace_back(500ms, [&r] { r.toolkit.unplug(1); }); }, true,
         kReselect, 2},
        {"the device hangs up", [](Rig& r) { r.fault("hangup:3"); }, false, "请重新选择端口！", 3},
        {"the faster rate cannot be set",
         [](Rig& r) {
             r.options.lineTiming = true;  // the handshake's reply takes 9 ms
             r.events.emplace_back(1ms, [&r] { r.toolkit.port(1)->refuseSettings = true; });
         },
         true, kReselect, 1},
    };
    for (const auto& c : cases) {
        Rig rig(0x1010, 0x1150);
        rig.state.UseEnglish = c.useEnglish;
        rig.toolkit.addPort(2).busy = true;
        rig.fault("drop:2");  // the first erase is lost: the session waits 1 s
        c.setUp(rig);
        rig.run();
        checkEnd(rig, false, {c.message}, c.name);
        EXPECT_EQ(rig.trace().size(), c.transmissions) << c.name;
        if (c.transmissions == 0) {
            EXPECT_EQ(rig.window->caption(), "Form1") << c.name;
        }
        EXPECT_LT(rig.finishedAt, 3s) << c.name << ": ends at once";
    }
}

// The port is pulled out while the message that ends the session is still open: the session
// has ended already, and no second message follows.
TEST(SessionWindowTest, APortFailingBehindTheEndMessageAddsNoOther) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> setUp;
        std::string message;
    };
    const std::vector<Case> cases{
        {"another model",
         [](Rig& r) {
             r.options.model = {0x10, 0x20, 0x31};
         },
         "Model Error！"},
        {"ten refusals", [](Rig& r) { r.fault("nak:2-40"); }, "读写失败,地址 = 1010"},
    };
    for (const auto& c : cases) {
        Rig rig(0x1010, 0x1150);
        c.setUp(rig);
        rig.toolkit.answerNext(ui::Answer::Ok, 5000ms);
        rig.events.emplace_back(1s, [&rig] { rig.toolkit.unplug(1); });
        rig.run();
        checkEnd(rig, false, {c.message}, c.name);
    }
}

TEST(SessionWindowTest, CloseBoxEndsTheSession) {
    Rig rig(0x1010, 0x1150);
    rig.fault("drop:3");
    rig.events.emplace_back(500ms, [&rig] { EXPECT_TRUE(rig.headless().closeBox()); });
    rig.run();
    checkEnd(rig, false, {}, "close box");
    EXPECT_EQ(rig.trace().size(), 3u);
    EXPECT_EQ(rig.finishedAt, 500ms);
}

// After the switch to 19200 baud the device gets 100 ms of quiet. The pause holds only this
// session: closed during it, the session sends nothing more and says nothing.
TEST(SessionWindowTest, PauseAtTheNewRate) {
    Rig timed(0x1010, 0x1150);
    timed.run();
    const auto& sent = timed.headless().headlessComm("MSComm1").transmissions();
    ASSERT_GE(sent.size(), 2u);
    const auto erase = sent[1].at;
    EXPECT_EQ(erase - sent[0].at, 100ms) << "the reply comes at once without line timing";
    for (const auto closeAt : {erase - 99ms, erase - 1ms}) {
        Rig rig(0x1010, 0x1150);
        rig.events.emplace_back(closeAt, [&rig] { EXPECT_TRUE(rig.headless().closeBox()); });
        rig.run();
        checkEnd(rig, false, {}, "closed in the pause");
        EXPECT_EQ(rig.trace(), Strings{"55 82 10 20 30 01 02 D4"});
        EXPECT_EQ(rig.finishedAt, closeAt);
    }
}

TEST(SessionWindowTest, ChinesePrompt) {
    Rig rig(0x1010, 0x1150);
    rig.state.UseEnglish = false;
    rig.fault("drop:1-10");
    rig.run();
    checkEnd(rig, false, {"检测连接！重试或取消？"}, "chinese");
}

// The window is loaded again for each session: every counter starts afresh.
TEST(SessionWindowTest, SecondSessionStartsAfresh) {
    Rig rig(0x1010, 0x1150);
    rig.fault("nak:3-12");  // nine refusals in the first session
    rig.run();
    checkEnd(rig, true, {}, "first");
    rig.state.UpdateMode = true;
    rig.window->showModal();
    EXPECT_TRUE(rig.state.SessionSucceeded) << "a second session may use all ten again";
    EXPECT_EQ(rig.device->violations(), Strings{});
}

// Read sessions: the device's lower 32 KiB into the image, block by block.
TEST(SessionWindowTest, ReadBack) {
    struct Case {
        const char* name;
        Strings faults;
        bool success;
        Strings messages;
        std::size_t transmissions;
    };
    const std::vector<Case> cases{
        {"every block arrives", {}, true, {}, 258},
        {"bad XORs are asked for again", {"corrupt:2", "corrupt:100-101"}, true, {}, 261},
        {"lost and late blocks", {"drop:3", "delay:50:1500", "partial:70"}, true, {}, 0},
        {"a refused handshake is sent again", {"nak:1"}, true, {}, 259},
        {"ten bad blocks: the failure end names the block",
         {"corrupt:2-50"},
         false,
         {"读写失败,地址 = 00"},
         12},
        {"refusals of the handshake count too", {"nak:1-50"}, false, {"读写失败,地址 = 00"}, 11},
    };
    for (const auto& c : cases) {
        Rig rig(0x0000, 0x7FFF);
        rig.read = true;
        for (std::size_t i = 0; i < rig.options.memory.size(); ++i) {
            rig.options.memory[i] = static_cast<std::uint8_t>(i * 5 + i / 128);
        }
        rig.options.memory[sim::kReadWindow] = kAck;  // a block starting with 79 is data too
        rig.state.FirmwareImage.fill(0xAA);
        for (const auto& fault : c.faults) rig.fault(fault);
        rig.run();
        checkEnd(rig, c.success, c.messages, c.name);
        const Strings trace = rig.trace();
        if (c.transmissions != 0) {
            EXPECT_EQ(trace.size(), c.transmissions) << c.name;
        }
        EXPECT_EQ(trace.front(), "55 82 10 20 30 FF FF D7") << c.name;
        if (c.success) {
            const bool firstAgain = c.faults == Strings{"corrupt:2", "corrupt:100-101"};
            EXPECT_EQ(std::count(trace.begin(), trace.end(), "55 81 00 00 00 80 52"),
                      firstAgain ? 2 : 1)
                << c.name;
            EXPECT_EQ(trace.back(), "55 03 00 90 00") << c.name;
            EXPECT_EQ(trace[trace.size() - 2], "55 81 00 7F 80 80 52") << c.name;
            EXPECT_EQ(rig.window->caption(), "读取固件");
        } else {
            EXPECT_EQ(rig.state.FirmwareImage[0], 0xAA) << c.name << ": a bad block is not stored";
        }
    }
}

// Answers that cross a resend or carry noise: the session never takes one answer for
// another's, whatever the line's timing.
TEST(SessionWindowTest, CrossedAndNoisyAnswers) {
    struct Case {
        const char* name;
        bool read;
        bool lineTiming;
        Strings faults;
        std::function<void(Rig&)> setUp;
    };
    const std::vector<Case> cases{
        {"a late read block crosses its resend: the next block is not the resend's answer",
         true,
         true,
         {"delay:5:1500"},
         [](Rig&) {}},
        {"a late acknowledgement of a write command crosses its resend: the data block waits "
         "for the device's own",
         false,
         true,
         {"delay:3:1500"},
         [](Rig&) {}},
        {"two copies of a read request answered late: the newest copy's answer counts",
         true,
         false,
         {"delay:5:1950", "delay:6:2650"},
         [](Rig&) {}},
        {"noise ahead of a read block whose shifted bytes still match their XOR",
         true,
         false,
         {"garbage:2"},
         [](Rig& r) {
             // Read three bytes early, the block would be the noise 00 E5 FF and its bytes 0
             // to 124, with its byte 125 taken for their XOR: make it that XOR.
             const auto block = std::span(r.options.memory).subspan(sim::kReadWindow, 128);
             block[125] = static_cast<std::uint8_t>(0x00 ^ 0xE5 ^ 0xFF ^ xorOf(block.first(125)));
         }},
    };
    for (const auto& c : cases) {
        Rig rig(c.read ? 0x0000 : 0x1010, c.read ? 0x7FFF : 0x1150);
        rig.read = c.read;
        rig.options.lineTiming = c.lineTiming;
        for (std::size_t i = 0; c.read && i < rig.options.memory.size(); ++i) {
            rig.options.memory[i] = static_cast<std::uint8_t>(i * 5 + i / 128);
        }
        for (const auto& fault : c.faults) rig.fault(fault);
        c.setUp(rig);
        rig.run();
        checkEnd(rig, true, {}, c.name);
    }
}

}  // namespace
}  // namespace comflash::desktop
