// The Linux host on the real event loop: typed lines and Ctrl-C reach the loop while the
// session's timers keep running, as a prompt on a terminal must leave the session going.
#include "host/qt_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

namespace comflash::host {
namespace {

// A pipe in place of the terminal the user types on, for as long as it lives.
class Keyboard {
  public:
    Keyboard() : saved_(::dup(STDIN_FILENO)) {
        EXPECT_EQ(::pipe2(fds_, O_CLOEXEC), 0);
        ::dup2(fds_[0], STDIN_FILENO);
    }
    ~Keyboard() {
        ::dup2(saved_, STDIN_FILENO);
        for (const int fd : {fds_[0], fds_[1], saved_}) {
            if (fd >= 0) ::close(fd);
        }
    }
    void type(const std::string& text) {
        ASSERT_EQ(::write(fds_[1], text.data(), text.size()), ssize_t(text.size()));
    }
    void endInput() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }

  private:
    int saved_;
    int fds_[2] = {-1, -1};
};

TEST(QtHost, TypedLinesAndInterruptsComeWhileTimersKeepRunning) {
    Keyboard keyboard;
    QtHost host;
    std::vector<std::string> lines;
    host.readLines(
        [&](const std::optional<std::string>& line) { lines.push_back(line.value_or("(end)")); });
    const auto timer = host.makeTimer();
    int ticks = 0;
    timer->onExpired = [&] {
        if (++ticks == 3) keyboard.type("maybe\nr");
        if (ticks == 5) keyboard.type("\n");
        timer->start(5);
    };
    timer->start(5);
    host.runUntil([&] { return lines.size() == 2; });
    EXPECT_GE(ticks, 5) << "the timer ran while the line was being typed";
    EXPECT_EQ(lines, (std::vector<std::string>{"maybe", "r"}));

    keyboard.type("c");
    keyboard.endInput();
    host.runUntil([&] { return lines.size() == 4; });
    EXPECT_EQ(lines, (std::vector<std::string>{"maybe", "r", "c", "(end)"}))
        << "a last line without its line end counts, then the end of the input";

    std::vector<int> interrupts;
    host.onInterrupt([&](int count) { interrupts.push_back(count); });
    std::raise(SIGINT);
    std::raise(SIGTERM);
    host.runUntil([&] { return interrupts.size() == 2; });
    EXPECT_EQ(interrupts, (std::vector<int>{1, 2})) << "counted, and the program goes on";
    timer->stop();
}

}  // namespace
}  // namespace comflash::host
