// The Linux host on the real event loop: typed lines and Ctrl-C reach the loop while the
// session's timers keep running, as a prompt on a terminal must leave the session going.
#include "host/qt_host.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
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

using End = cli::CommandResult::End;

TEST(QtHost, CommandsRunByTheShellSayHowTheyEnded) {
    struct Case {
        std::string command;
        cli::Environment environment;
        End end;
        int code;
        std::string firstLine;
        std::string why;
    };
    const Case cases[] = {
        {"echo hello; echo more", {}, End::Exited, 0, "hello", ""},
        {"echo answer; echo oops >&2; echo failed >&2; exit 3",
         {},
         End::Exited,
         3,
         "answer",
         "failed"},
        {"echo \"$COMFLASH_PORT\"", {{"COMFLASH_PORT", "COM7"}}, End::Exited, 0, "COM7", ""},
        {"echo \"$HOME\"", {{"HOME", "/elsewhere"}}, End::Exited, 0, "/elsewhere", ""},
        {"ulimit -c 0; kill -SEGV $$",
         {},
         End::Crashed,
         0,
         "",
         "killed by signal 11 (Segmentation fault)"},
        // Far more than a pipe holds: it is drained while the command runs.
        {"echo first; head -c 1048576 /dev/zero; exit 4", {}, End::Exited, 4, "first", ""},
    };
    QtHost host;
    std::vector<std::optional<cli::CommandResult>> results(std::size(cases));
    std::vector<std::unique_ptr<cli::RunningCommand>> running;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        running.push_back(host.runCommand(cases[i].command, cases[i].environment,
                                          [&, i](const cli::CommandResult& r) { results[i] = r; }));
    }
    host.runUntil([&] {
        return std::all_of(results.begin(), results.end(), [](auto& r) { return r.has_value(); });
    });
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].command);
        EXPECT_EQ(results[i]->end, cases[i].end);
        EXPECT_EQ(results[i]->code, cases[i].code);
        EXPECT_EQ(results[i]->firstLine, cases[i].firstLine);
        EXPECT_EQ(results[i]->why, cases[i].why);
    }
}

// The commands' children say on this pipe that they run, and hold it open while they live.
class Witness {
  public:
    static constexpr int kFd = 9;  // a number the shell can redirect to
    Witness() : saved_(::dup(kFd)) {
        int fds[2] = {-1, -1};
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        read_ = fds[0];
        ::dup2(fds[1], kFd);  // without O_CLOEXEC: the commands inherit it
        ::close(fds[1]);
    }
    ~Witness() {
        letGo();
        ::close(read_);
    }
    Witness(const Witness&) = delete;
    Witness& operator=(const Witness&) = delete;

    // The next line; "" at the end, once every process holding the pipe has gone.
    std::string next() const {
        std::string text;
        pollfd ready{read_, POLLIN, 0};
        for (char byte = 0;; text += byte) {
            if (::poll(&ready, 1, 10000) != 1) return text + "(nothing for ten seconds)";
            if (::read(read_, &byte, 1) != 1 || byte == '\n') return text;
        }
    }
    // The test's own writing end goes.
    void letGo() {
        if (saved_ == kNone) return;
        saved_ >= 0 ? ::dup2(saved_, kFd) : ::close(kFd);
        if (saved_ >= 0) ::close(saved_);
        saved_ = kNone;
    }

  private:
    static constexpr int kNone = -2;
    int saved_;
    int read_ = -1;
};

TEST(QtHost, ChildrenLeftRunningNeitherDelayTheResultNorOutliveTheHandle) {
    Witness witness;
    QtHost host;
    std::optional<cli::CommandResult> result;
    const auto started = std::chrono::steady_clock::now();
    auto leftBehind =
        host.runCommand("sleep 30 & echo started", {}, [&](const auto& r) { result = r; });
    host.runUntil([&] { return result.has_value(); });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10))
        << "the shell's end, not its child's, is the command's";
    EXPECT_EQ(result->end, End::Exited);
    EXPECT_EQ(result->firstLine, "started");

    bool called = false;
    auto waiting = host.runCommand("sleep 30 & echo running >&9; sleep 30", {},
                                   [&](const auto&) { called = true; });
    ASSERT_EQ(witness.next(), "running");
    leftBehind.reset();
    waiting.reset();
    witness.letGo();
    EXPECT_EQ(witness.next(), "") << "every process of both commands has gone";
    QCoreApplication::processEvents();
    EXPECT_FALSE(called) << "no result after the handle is gone";
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child left unreaped";
}

}  // namespace
}  // namespace comflash::host
