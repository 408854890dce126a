// comflash-sim as a child process, and a scripted host that talks to it over its
// pseudo-terminal with plain termios. Every wait polls with a generous bound that a passing run
// never reaches.
#pragma once

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace comflash::e2e {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::chrono::milliseconds kPatience{10'000};

class SimProcess {
  public:
    // Starts comflash-sim with `args` and reads the path it prints first.
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& path() const { return path_; }
    void signal(int number) const;
    // The exit status once the process has ended, or -1 when it did not end in time.
    int wait();

  private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    std::string path_;
};

class ScriptedHost {
  public:
    ScriptedHost(const std::string& path, speed_t rate);
    ~ScriptedHost();
    ScriptedHost(const ScriptedHost&) = delete;
    ScriptedHost& operator=(const ScriptedHost&) = delete;

    void setRate(speed_t rate);
    void write(const Bytes& bytes);
    // Up to `count` bytes: fewer only when the line hangs up or the patience runs out.
    Bytes read(std::size_t count, std::chrono::milliseconds patience = kPatience);
    // Writes a frame and returns what follows its echo, `replyLength` bytes; the echo must be
    // the frame itself.
    Bytes exchange(const Bytes& frame, std::size_t replyLength);
    bool hungUp() const { return hungUp_; }

  private:
    int fd_ = -1;
    bool hungUp_ = false;
};

}  // namespace comflash::e2e
