// The Windows host on the thread's message loop: typed lines reach the loop while the session's
// timers keep running, as a prompt in a console must leave the session going. (Ctrl-C needs a
// console, which a test under Wine has not: tests/win32/cli_sessions.sh sends it to the
// program.)
#include "host/win32_host.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace comflash::host {
namespace {

// A pipe in place of the console the user types on, for as long as it lives.
class Keyboard {
  public:
    Keyboard() : saved_(GetStdHandle(STD_INPUT_HANDLE)) {
        EXPECT_TRUE(CreatePipe(&read_, &write_, nullptr, 0));
        SetStdHandle(STD_INPUT_HANDLE, read_);
    }
    // The host's reader has let go of the pipe once it saw the input end.
    ~Keyboard() {
        SetStdHandle(STD_INPUT_HANDLE, saved_);
        if (write_ != nullptr) CloseHandle(write_);
        CloseHandle(read_);
    }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    void type(const std::string& text) {
        DWORD wrote = 0;
        ASSERT_TRUE(
            WriteFile(write_, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr));
        ASSERT_EQ(wrote, text.size());
    }
    void endInput() {
        CloseHandle(write_);
        write_ = nullptr;
    }

  private:
    HANDLE saved_;
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
};

TEST(Win32Host, TypedLinesComeWhileTimersKeepRunning) {
    Keyboard keyboard;
    Win32Host host;
    std::vector<std::string> lines;
    host.readLines(
        [&](const std::optional<std::string>& line) { lines.push_back(line.value_or("(end)")); });
    const auto timer = host.makeTimer();
    int ticks = 0;
    timer->onExpired = [&] {
        if (++ticks == 3) keyboard.type("maybe\r\nr");
        if (ticks == 5) keyboard.type("\r\n");
        timer->start(5);
    };
    timer->start(5);
    host.runUntil([&] { return lines.size() == 2; });
    EXPECT_GE(ticks, 5) << "the timer ran while the line was being typed";
    EXPECT_EQ(lines, (std::vector<std::string>{"maybe", "r"})) << "lines without CR LF";

    keyboard.type("c");
    keyboard.endInput();
    host.runUntil([&] { return lines.size() == 4; });
    EXPECT_EQ(lines, (std::vector<std::string>{"maybe", "r", "c", "(end)"}))
        << "a last line without its line end counts, then the end of the input";

    timer->stop();
}

}  // namespace
}  // namespace comflash::host
