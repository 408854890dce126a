#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cerrno>

extern char** environ;

namespace comflash::e2e {

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> all{COMFLASH_SIM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, COMFLASH_SIM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << COMFLASH_SIM;
        pid_ = -1;
        close(out[0]);
        return;
    }
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));

    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    char c = 0;
    pollfd fd{out[0], POLLIN, 0};
    while (poll(&fd, 1, remainingMs(deadline)) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
        path_ += c;
    }
    close(out[0]);
    EXPECT_FALSE(path_.empty()) << "comflash-sim printed no path";
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (pidFd_ >= 0) close(pidFd_);
}

void SimProcess::signal(int number) const {
    if (pid_ > 0) kill(pid_, number);
}

int SimProcess::wait() {
    if (pid_ <= 0) return -1;
    pollfd fd{pidFd_, POLLIN, 0};
    if (pidFd_ >= 0 && poll(&fd, 1, static_cast<int>(kPatience.count())) <= 0) return -1;
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ScriptedHost::ScriptedHost(const std::string& path, speed_t rate) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return;
    }
    setRate(rate);
}

ScriptedHost::~ScriptedHost() {
    if (fd_ >= 0) close(fd_);
}

void ScriptedHost::setRate(speed_t rate) {
    termios settings{};
    tcgetattr(fd_, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&settings, rate);
    ASSERT_EQ(tcsetattr(fd_, TCSANOW, &settings), 0);
}

void ScriptedHost::write(const Bytes& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes ScriptedHost::read(std::size_t count, std::chrono::milliseconds patience) {
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (bytes.size() < count && !hungUp_) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, remainingMs(deadline)) <= 0) break;
        std::uint8_t buffer[256];
        const ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got > 0) {
            bytes.insert(bytes.end(), buffer, buffer + got);
        } else if (got == 0 || errno != EAGAIN) {
            hungUp_ = true;  // the other side is gone: end of file or an I/O error
        }
    }
    return bytes;
}

Bytes ScriptedHost::exchange(const Bytes& frame, std::size_t replyLength) {
    write(frame);
    const Bytes got = read(frame.size() + replyLength);
    if (got.size() < frame.size()) {
        ADD_FAILURE() << "only " << got.size() << " bytes came back";
        return {};
    }
    EXPECT_EQ(Bytes(got.begin(), got.begin() + static_cast<long>(frame.size())), frame)
        << "the echo";
    return Bytes(got.begin() + static_cast<long>(frame.size()), got.end());
}

}  // namespace comflash::e2e
