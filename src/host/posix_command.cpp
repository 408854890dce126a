#include "host/posix_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "host/command_output.h"

namespace comflash::host {

namespace {

constexpr const char* kShell = "/bin/sh";
// Bytes read from a pipe at one notice while the command runs, so that the loop goes on.
constexpr std::size_t kReadAtOnce = 64 * 1024;
// Bytes read from a pipe once the command has ended: what it wrote is there, and a child it
// left behind may go on writing.
constexpr std::size_t kReadAtEnd = 1024 * 1024;

// The program's environment with `added` in place of variables of the same name.
std::vector<std::string> environmentWith(const cli::Environment& added) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const auto name = text.substr(0, text.find('='));
        if (std::none_of(added.begin(), added.end(),
                         [&](const auto& variable) { return variable.first == name; })) {
            entries.emplace_back(text);
        }
    }
    for (const auto& [name, value] : added) entries.push_back(name + '=' + value);
    return entries;
}

// The pointers that exec wants, ending in a null one; valid while `texts` lives.
std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Our end of a pipe from the command, watched on the loop.
struct Pipe {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notice;
    bool atEnd = false;  // every writer has gone

    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() { close(); }
    void close() {
        notice.reset();
        if (fd >= 0) ::close(std::exchange(fd, -1));
    }
};

class PosixCommand final : public cli::RunningCommand {
  public:
    explicit PosixCommand(std::function<void(const cli::CommandResult&)> done)
        : done_(std::move(done)) {}
    ~PosixCommand() override;
    PosixCommand(const PosixCommand&) = delete;
    PosixCommand& operator=(const PosixCommand&) = delete;

    void start(const std::string& command, const cli::Environment& environment);

  private:
    void watch(Pipe& pipe, int fd, bool isOut);
    void take(Pipe& pipe, bool isOut, std::size_t limit);
    void ended(const siginfo_t& info, int error);
    // Calls `call` on the loop's thread later, unless the command has been destroyed by then.
    void onLoop(std::function<void()> call);
    void finish(const cli::CommandResult& result);

    std::function<void(const cli::CommandResult&)> done_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    pid_t pid_ = -1;
    Pipe out_;
    Pipe err_;
    CommandOutput output_;
    std::thread waiter_;
};

void PosixCommand::start(const std::string& command, const cli::Environment& environment) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int failed = 0;
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        failed = errno;
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        // Its own process group, and signals as a fresh program has them (this one ignores
        // some, which a program it starts would inherit).
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes, 0);
        sigset_t mask;
        sigemptyset(&mask);
        posix_spawnattr_setsigmask(&attributes, &mask);
        sigfillset(&mask);
        posix_spawnattr_setsigdefault(&attributes, &mask);

        std::vector<std::string> arguments{"sh", "-c", command};
        std::vector<std::string> variables = environmentWith(environment);
        failed = ::posix_spawn(&pid_, kShell, &actions, &attributes, pointersTo(arguments).data(),
                               pointersTo(variables).data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    for (const int fd : {out[1], err[1]}) {
        if (fd >= 0) ::close(fd);
    }
    if (failed != 0) {
        for (const int fd : {out[0], err[0]}) {
            if (fd >= 0) ::close(fd);
        }
        pid_ = -1;
        const std::string why = std::string("cannot run ") + kShell + ": " + std::strerror(failed);
        onLoop([this, why] { finish({cli::CommandResult::End::NotStarted, 0, {}, why}); });
        return;
    }
    watch(out_, out[0], true);
    watch(err_, err[0], false);
    // The shell's end is waited for on a thread of its own (a blocking wait needs no signal
    // handler). The shell is left unreaped, a zombie, until the command is destroyed: its
    // process id, which names the group, cannot go to another process meanwhile.
    waiter_ = std::thread([this, pid = pid_] {
        siginfo_t info{};
        int error = 0;
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
            if (errno != EINTR) {
                error = errno;
                break;
            }
        }
        onLoop([this, info, error] { ended(info, error); });
    });
}

PosixCommand::~PosixCommand() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    waiter_.join();
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void PosixCommand::watch(Pipe& pipe, int fd, bool isOut) {
    pipe.fd = fd;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    pipe.notice =
        std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
    QObject::connect(pipe.notice.get(), &QSocketNotifier::activated,
                     [this, &pipe, isOut] { take(pipe, isOut, kReadAtOnce); });
}

// Reads what the pipe holds now, up to about `limit` bytes.
void PosixCommand::take(Pipe& pipe, bool isOut, std::size_t limit) {
    char buffer[16 * 1024];
    for (std::size_t taken = 0; !pipe.atEnd && taken < limit;) {
        const ssize_t got = ::read(pipe.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return;
        if (got <= 0) {
            // Not deleted here: this may run in the notifier's own signal.
            pipe.atEnd = true;
            pipe.notice->setEnabled(false);
            return;
        }
        taken += static_cast<std::size_t>(got);
        const std::string_view bytes(buffer, static_cast<std::size_t>(got));
        isOut ? output_.addOut(bytes) : output_.addErr(bytes);
    }
}

// The shell has ended: what it wrote is in the pipes now. A child it left running may hold
// them open for long, so their end is not waited for.
void PosixCommand::ended(const siginfo_t& info, int error) {
    take(out_, true, output_.firstLineComplete() ? 0 : kReadAtEnd);
    take(err_, false, kReadAtEnd);
    out_.close();
    err_.close();
    cli::CommandResult result;
    result.firstLine = output_.firstLine();
    if (error != 0) {
        result.end = cli::CommandResult::End::Crashed;
        result.why = std::string("its end was not seen: ") + std::strerror(error);
    } else if (info.si_code == CLD_EXITED) {
        result.end = cli::CommandResult::End::Exited;
        result.code = info.si_status;
        if (result.code != 0) result.why = output_.lastErrorLine();
    } else {
        result.end = cli::CommandResult::End::Crashed;
        result.why = "killed by signal " + std::to_string(info.si_status) + " (" +
                     ::strsignal(info.si_status) + ")";
    }
    finish(result);
}

void PosixCommand::onLoop(std::function<void()> call) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive = std::weak_ptr<int>(alive_), call = std::move(call)] {
            if (!alive.expired()) call();
        },
        Qt::QueuedConnection);
}

// The receiver may destroy the command: nothing of it is touched afterwards.
void PosixCommand::finish(const cli::CommandResult& result) {
    const auto done = std::move(done_);
    if (done) done(result);
}

}  // namespace

std::unique_ptr<cli::RunningCommand> runPosixCommand(
    const std::string& command, const cli::Environment& environment,
    std::function<void(const cli::CommandResult&)> done) {
    auto running = std::make_unique<PosixCommand>(std::move(done));
    running->start(command, environment);
    return running;
}

}  // namespace comflash::host
