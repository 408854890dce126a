#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

extern char** environ;

namespace comflash::e2e {

namespace {

// Long enough for a session that waits out six reply time-outs under the sanitizers.
constexpr std::chrono::seconds kCliPatience{40};

std::vector<std::string> environment(const std::string& configHome) {
    std::vector<std::string> all{"XDG_CONFIG_HOME=" + configHome};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "XDG_CONFIG_HOME=", 16) != 0) all.emplace_back(*entry);
    }
    return all;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& s : strings) list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

std::vector<std::string> commandLine(const std::vector<std::string>& args) {
    std::vector<std::string> all{COMFLASH_CLI};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads what comes from the descriptors until each has ended or the patience runs out;
// `seen` runs after every read.
void collect(std::vector<std::pair<int, std::string*>> sources,
             const std::function<void()>& seen = {}) {
    const auto deadline = std::chrono::steady_clock::now() + kCliPatience;
    while (!sources.empty()) {
        std::vector<pollfd> fds;
        for (const auto& source : sources) fds.push_back({source.first, POLLIN, 0});
        if (poll(fds.data(), fds.size(), remainingMs(deadline)) <= 0) {
            ADD_FAILURE() << "comflash-cli did not end in time";
            return;
        }
        for (std::size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sources[i].second->append(buffer, static_cast<std::size_t>(got));
                if (seen) seen();
            } else if (got == 0 || errno != EINTR) {  // a pty's master reads EIO at the end
                sources.erase(sources.begin() + static_cast<long>(i));
            }
        }
    }
}

// The exit status of a process whose output has ended; it is killed if it does not end.
int reap(pid_t pid) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        poll(nullptr, 0, 5);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CliRun runCli(const std::vector<std::string>& args, const std::string& configHome) {
    return runCliSignalled(args, configHome, {}, 0);
}

CliRun runCliSignalled(const std::vector<std::string>& args, const std::string& configHome,
                       const std::function<bool(const std::string& out)>& when, int signal) {
    return runCliAs({}, args, configHome, when, signal);
}

// setpriv (util-linux) drops to the user and its group before it runs the program.
CliRun runCliAs(const std::string& user, const std::vector<std::string>& args,
                const std::string& configHome,
                const std::function<bool(const std::string& out)>& when, int signal) {
    CliRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    auto argv = commandLine(args);
    if (!user.empty()) {
        const passwd* entry = ::getpwnam(user.c_str());
        const std::string group = entry != nullptr ? std::to_string(entry->pw_gid) : user;
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=" + user, "--regid=" + group,
                                   "--clear-groups", "--"});
    }
    auto envp = environment(configHome);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv.front().c_str(), &actions, nullptr,
                                    pointers(argv).data(), pointers(envp).data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned == 0) {
        bool sent = false;
        collect({{out[0], &run.out}, {err[0], &run.err}}, [&] {
            if (!sent && when && when(run.out)) sent = ::kill(pid, signal) == 0;
        });
        run.exit = reap(pid);
    } else {
        ADD_FAILURE() << "cannot start " << COMFLASH_CLI;
    }
    ::close(out[0]);
    ::close(err[0]);
    return run;
}

CliRun runCliOnTerminal(const std::vector<std::string>& args, const std::string& configHome,
                        const std::string& prompt, const std::string& answer) {
    CliRun run;
    auto argv = commandLine(args);
    auto envp = environment(configHome);
    const auto argvPointers = pointers(argv);
    const auto envpPointers = pointers(envp);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execve(COMFLASH_CLI, argvPointers.data(), envpPointers.data());
        _exit(127);
    }
    if (pid < 0) {
        ADD_FAILURE() << "forkpty";
        return run;
    }
    std::size_t answered = 0;
    collect({{master, &run.out}}, [&] {
        std::size_t count = 0;
        for (auto at = run.out.find(prompt); at != std::string::npos;
             at = run.out.find(prompt, at + 1)) {
            ++count;
        }
        for (; answered < count; ++answered) {
            ASSERT_EQ(::write(master, answer.data(), answer.size()), ssize_t(answer.size()));
        }
    });
    ::close(master);
    run.exit = reap(pid);
    return run;
}

}  // namespace comflash::e2e
