// The Windows host on its loop: typed lines reach the loop while the session's
// timers keep running, as a prompt in a console must leave the session going. (Ctrl-C needs a
// console, which a test under Wine has not: tests/win32/cli_sessions.sh sends it to the
// program.)
#include "host/win32_host.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/win32_loop.h"

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

// The loop's timers fire once each, in the order of their moments, never early; a timer
// started again moves its moment, a stopped one never fires, and a notice posted from another
// thread comes in order with them, unless its receiver has gone.
TEST(Win32Host, LoopTimersAndNoticesComeInTheirOrder) {
    Win32Loop& loop = Win32Loop::instance();
    std::vector<std::string> order;
    const auto started = Win32Loop::Clock::now();
    std::vector<std::unique_ptr<Win32LoopTimer>> timers;
    for (const char* name : {"a", "b", "c", "d"}) {
        timers.push_back(std::make_unique<Win32LoopTimer>(loop));
        timers.back()->onExpired = [&order, name, started] {
            order.push_back(name);
            EXPECT_GE(Win32Loop::Clock::now() - started,
                      std::chrono::milliseconds(name[0] == 'a' ? 30 : 10))
                << name << " early";
        };
    }
    timers[0]->start(5);
    timers[1]->start(20);
    timers[2]->start(10);
    timers[3]->start(15);
    timers[0]->start(30);  // moved behind the others
    timers[3]->stop();
    const UINT_PTR gone = loop.add([&](LPARAM) { order.push_back("gone"); });
    const UINT_PTR kept = loop.add([&](LPARAM value) { order.push_back(std::to_string(value)); });
    std::thread([&loop, gone, kept] {
        loop.post(gone, 1);
        loop.post(kept, 7);
    }).join();
    loop.remove(gone);
    loop.runUntil([&] { return order.size() == 4; });
    EXPECT_EQ(order, (std::vector<std::string>{"7", "c", "b", "a"}));
    loop.remove(kept);
}

using End = cli::CommandResult::End;

TEST(Win32Host, CommandsRunByCmdSayHowTheyEnded) {
    struct Case {
        std::string command;
        cli::Environment environment;
        End end;
        int code;
        std::string firstLine;
        std::string why;
    };
    const Case cases[] = {
        {"echo hello& exit /b 3", {}, End::Exited, 3, "hello", ""},
        {"echo %COMFLASH_PORT%& echo oops>&2& exit /b 1",
         {{"COMFLASH_PORT", "COM7"}},
         End::Exited,
         1,
         "COM7",
         "oops"},
        {"exit /b -1073741819", {}, End::Crashed, 0, "", "exception 0xC0000005"},
        {"exit /b -1", {}, End::Exited, -1, "", ""},  // a program's own status, no exception
    };
    Win32Host host;
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

// A pipe that a command's child writes to while it lives.
class Witness {
  public:
    const std::string name =
        "\\\\.\\pipe\\comflash-witness-" + std::to_string(GetCurrentProcessId());

    Witness() {
        pipe_ = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
        EXPECT_NE(pipe_, INVALID_HANDLE_VALUE);
        overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Witness() {
        CloseHandle(pipe_);
        CloseHandle(overlapped_.hEvent);
    }
    Witness(const Witness&) = delete;
    Witness& operator=(const Witness&) = delete;

    // The next line a child wrote, without its line end; "" once every writer has gone.
    std::string next() {
        const bool connecting =
            !ConnectNamedPipe(pipe_, &overlapped_) && GetLastError() == ERROR_IO_PENDING;
        if (connecting && !finished()) return "(no one for ten seconds)";
        std::string text;
        for (DWORD got = 0; text.find('\n') == std::string::npos; text.append(buffer_, got)) {
            if (!ReadFile(pipe_, buffer_, sizeof buffer_, nullptr, &overlapped_) &&
                GetLastError() != ERROR_IO_PENDING) {
                break;
            }
            if (!finished()) return text + "(nothing for ten seconds)";
            if (!GetOverlappedResult(pipe_, &overlapped_, &got, FALSE)) break;
        }
        return text.substr(0, text.find_first_of("\r\n"));
    }

  private:
    bool finished() {
        if (WaitForSingleObject(overlapped_.hEvent, 10000) == WAIT_OBJECT_0) return true;
        DWORD got = 0;
        CancelIoEx(pipe_, &overlapped_);
        GetOverlappedResult(pipe_, &overlapped_, &got, TRUE);
        return false;
    }

    HANDLE pipe_;
    OVERLAPPED overlapped_{};
    char buffer_[256];
};

TEST(Win32Host, DestroyingACommandEndsItAndWhatItStarted) {
    Witness witness;
    Win32Host host;
    bool called = false;
    // The inner cmd.exe says it runs and holds the pipe until its ping has ended.
    auto running =
        host.runCommand("cmd /d /c \"echo running& ping -n 30 127.0.0.1 >nul\" >" + witness.name,
                        {}, [&](const auto&) { called = true; });
    ASSERT_EQ(witness.next(), "running");
    running.reset();
    EXPECT_EQ(witness.next(), "") << "the inner cmd.exe has ended";
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_FALSE(called) << "no result after the handle is gone";
}

}  // namespace
}  // namespace comflash::host
