#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <utility>

namespace comflash::sim {

namespace {

// After the last session, how long the server waits at most for the host to read the reply.
constexpr std::chrono::milliseconds kDrainLimit{2000};
constexpr Micros kDrainPoll{5'000};
constexpr Micros kSettle{100'000};
constexpr std::size_t kReadChunk = 4096;

struct Rate {
    speed_t speed;
    int baud;
};
constexpr std::array<Rate, 12> kRates{{{B1200, 1200},
                                       {B2400, 2400},
                                       {B4800, 4800},
                                       {B9600, 9600},
                                       {B19200, 19200},
                                       {B38400, 38400},
                                       {B57600, 57600},
                                       {B115200, 115200},
                                       {B230400, 230400},
                                       {B460800, 460800},
                                       {B921600, 921600},
                                       {B600, 600}}};

// The rate the host set on the line, 0 when it is not a standard one.
int lineRate(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return 0;
    const speed_t speed = cfgetospeed(&settings);
    for (const Rate& rate : kRates) {
        if (rate.speed == speed) return rate.baud;
    }
    return 0;
}

std::string failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

PtyServer::PtyServer(Fixture& fixture, std::ostream* log)
    : fixture_(fixture), log_(log), start_(std::chrono::steady_clock::now()) {}

PtyServer::~PtyServer() {
    closeTerminal(line_);
    if (inotify_ >= 0) close(inotify_);
    if (!link_.empty()) unlink(link_.c_str());
    if (!folder_.empty()) rmdir(folder_.c_str());
}

std::optional<std::string> PtyServer::start() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/comflash-sim.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return failure("cannot make a folder in " + pattern);
    folder_ = pattern;
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return failure("inotify");
    if (auto problem = openTerminal(line_)) return problem;
    link_ = folder_ + "/tty";
    if (symlink(line_.slavePath.c_str(), link_.c_str()) != 0) return failure("symlink " + link_);
    return std::nullopt;
}

std::optional<std::string> PtyServer::openTerminal(Terminal& terminal) const {
    terminal.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal.master < 0 || grantpt(terminal.master) != 0 || unlockpt(terminal.master) != 0) {
        return failure("pseudo-terminal");
    }
    std::array<char, 128> name{};
    if (ptsname_r(terminal.master, name.data(), name.size()) != 0) return failure("ptsname");
    terminal.slavePath = name.data();
    terminal.slave = open(terminal.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal.slave < 0) return failure("open " + terminal.slavePath);
    // Raw bytes both ways, whatever the host sets up: no echo or line editing by the terminal.
    termios settings{};
    tcgetattr(terminal.slave, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&settings, B9600);
    tcsetattr(terminal.slave, TCSANOW, &settings);
    // Added after the server's own open, so every open seen is the host's.
    terminal.watch = inotify_add_watch(inotify_, terminal.slavePath.c_str(), IN_OPEN | IN_CLOSE);
    if (terminal.watch < 0) return failure("inotify watch " + terminal.slavePath);
    return std::nullopt;
}

void PtyServer::closeTerminal(Terminal& terminal) const {
    if (terminal.watch >= 0) inotify_rm_watch(inotify_, terminal.watch);
    if (terminal.slave >= 0) close(terminal.slave);
    if (terminal.master >= 0) close(terminal.master);
    terminal = Terminal{};
}

// Closing the master side hangs the line up under the host's descriptor. A new pseudo-terminal
// takes the link's place first, so a host that sees the hang-up can open the same path again.
void PtyServer::hangUp() {
    Terminal fresh;
    if (auto problem = openTerminal(fresh)) {
        std::cerr << "comflash-sim: cannot open a new line after the hang-up: " << *problem << '\n';
    } else {
        const std::string next = link_ + ".new";
        unlink(next.c_str());
        if (symlink(fresh.slavePath.c_str(), next.c_str()) == 0)
            rename(next.c_str(), link_.c_str());
    }
    Terminal old = std::exchange(line_, fresh);
    closeTerminal(old);
    opens_ = 0;
    queue_.clear();
    output_.clear();
}

void PtyServer::unplug() {
    unlink(link_.c_str());
    closeTerminal(line_);
    opens_ = 0;
    queue_.clear();
    output_.clear();
}

void PtyServer::plug() {
    if (auto problem = openTerminal(line_)) {
        std::cerr << "comflash-sim: cannot open the line of the next board: " << *problem << '\n';
        return;
    }
    const std::string next = link_ + ".new";
    unlink(next.c_str());
    if (symlink(line_.slavePath.c_str(), next.c_str()) == 0) rename(next.c_str(), link_.c_str());
}

Micros PtyServer::now() const {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - start_);
}

void PtyServer::run(int stopFd, int sessions) {
    std::optional<Micros> finishBy;
    bool plugged = true;
    for (;;) {
        fixture_.advance(now());
        if (fixture_.unplugs() && fixture_.boardIn() != plugged) {
            plugged = fixture_.boardIn();
            if (plugged) {
                plug();
            } else {
                unplug();
            }
        }
        deliverDue();
        writeLog();
        if (!finishBy &&
            (fixture_.done() || (sessions > 0 && fixture_.sessionsEnded() >= sessions))) {
            finishBy = now() + kDrainLimit;
        }
        if (finishBy && (drained() || now() >= *finishBy)) return;

        // The wait ends when the next emission is due, to the microsecond: a wait rounded up to
        // whole milliseconds would hold every reply back by half a millisecond on average, time
        // that a host measured against the line would wrongly be charged with.
        std::optional<Micros> wait;
        if (!queue_.empty()) wait = std::max(Micros{0}, queue_.front().due - now());
        if (const auto change = fixture_.nextChange()) {
            wait = std::min(wait.value_or(Micros::max()), std::max(Micros{0}, *change - now()));
        }
        if (finishBy) wait = std::min(wait.value_or(kDrainPoll), kDrainPoll);
        timespec timeout{};
        if (wait) {
            timeout.tv_sec = static_cast<time_t>(wait->count() / 1'000'000);
            timeout.tv_nsec = static_cast<long>(wait->count() % 1'000'000 * 1000);
        }
        std::array<pollfd, 3> fds{
            {{stopFd, POLLIN, 0},
             {inotify_, POLLIN, 0},
             {line_.master, static_cast<short>(POLLIN | (output_.empty() ? 0 : POLLOUT)), 0}}};
        if (ppoll(fds.data(), fds.size(), wait ? &timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) return;
        if ((fds[1].revents & POLLIN) || (fds[2].revents & POLLIN)) serviceLine();
    }
}

// Opens and closes come through inotify, the host's bytes through the master: two queues with
// no common order. A read of the master gives every byte written before it (even bytes the
// terminal has not passed on yet), and a host opens the line before it writes and writes
// before it closes. So the bytes are read first and the events after them, which then hold
// every open that came before the bytes (a probe's open and close, the host's own open): the
// bytes go to the device after all the events, unless the events leave the line closed. Then
// they were written before the close that did so, and go to the device just before it,
// together with whatever came in meanwhile. Only a host that closes, opens again and writes
// faster than the server can look may see its bytes fall into the wrong opening.
void PtyServer::serviceLine() {
    std::vector<Bytes> written = readHost();
    const std::vector<LineEvent> events = readLineEvents();
    // The event at which the last opening closed; none (past every event) while one is open.
    const std::size_t none = events.size();
    std::size_t finalClose = none;
    int opens = opens_;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].watch != line_.watch) continue;
        if (events[i].mask & IN_OPEN) ++opens;
        if ((events[i].mask & IN_CLOSE) && opens > 0 && --opens == 0) finalClose = i;
    }
    if (opens > 0) finalClose = none;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (finalClose == i) {
            for (Bytes& more : readHost()) written.push_back(std::move(more));
            feed(written);
        }
        apply(events[i]);
    }
    if (finalClose == none) feed(written);
}

std::vector<PtyServer::LineEvent> PtyServer::readLineEvents() {
    std::vector<LineEvent> events;
    alignas(inotify_event) std::array<char, kReadChunk> buffer;
    for (;;) {
        const ssize_t count = read(inotify_, buffer.data(), buffer.size());
        if (count <= 0) return events;
        for (ssize_t at = 0; at < count;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            events.push_back({event->wd, event->mask});
        }
    }
}

void PtyServer::apply(const LineEvent& event) {
    // A hang-up replaces the line: events of the old one no longer count.
    if (event.watch != line_.watch) return;
    if (event.mask & IN_OPEN) {
        if (opens_++ == 0) fixture_.lineOpened(now());
    }
    if ((event.mask & IN_CLOSE) && opens_ > 0) {
        if (--opens_ == 0) {
            fixture_.lineClosed(now());
            // A closed port drops what was still on its way to it.
            queue_.clear();
            output_.clear();
            tcflush(line_.slave, TCIFLUSH);
        }
    }
}

std::vector<PtyServer::Bytes> PtyServer::readHost() {
    std::vector<Bytes> chunks;
    std::array<std::uint8_t, kReadChunk> buffer;
    for (;;) {
        const ssize_t count = read(line_.master, buffer.data(), buffer.size());
        if (count <= 0) return chunks;
        chunks.emplace_back(buffer.begin(), buffer.begin() + count);
    }
}

void PtyServer::feed(const std::vector<Bytes>& chunks) {
    for (const Bytes& chunk : chunks) {
        fixture_.setLineRate(lineRate(line_.slave));
        for (Emission& emission : fixture_.receive(chunk, now())) enqueue(std::move(emission));
        deliverDue();
    }
}

void PtyServer::enqueue(Emission emission) {
    const auto later =
        std::upper_bound(queue_.begin(), queue_.end(), emission.due,
                         [](Micros due, const Emission& queued) { return due < queued.due; });
    queue_.insert(later, std::move(emission));
}

void PtyServer::deliverDue() {
    const Micros at = now();
    while (!queue_.empty() && queue_.front().due <= at) {
        const Emission emission = std::move(queue_.front());
        queue_.pop_front();
        output_.insert(output_.end(), emission.bytes.begin(), emission.bytes.end());
        if (emission.hangup) {
            flushOutput();
            hangUp();
            return;
        }
    }
    flushOutput();
}

void PtyServer::flushOutput() {
    if (opens_ == 0) {
        output_.clear();  // no port is open to receive it
        return;
    }
    while (!output_.empty()) {
        const ssize_t written = write(line_.master, output_.data(), output_.size());
        if (written <= 0) return;
        lastWrite_ = now();
        output_.erase(output_.begin(), output_.begin() + written);
    }
}

bool PtyServer::drained() const {
    if (!queue_.empty() || !output_.empty()) return false;
    if (opens_ == 0) return true;
    // Bytes written to the master reach the slave's input a moment later, so an empty input
    // counts only some time after the last write.
    int unread = 0;
    if (ioctl(line_.slave, FIONREAD, &unread) != 0) unread = 0;
    return unread == 0 && now() - lastWrite_ >= kSettle;
}

void PtyServer::writeLog() {
    const auto& lines = fixture_.transcript();
    if (log_ == nullptr || logged_ == lines.size()) return;
    for (; logged_ < lines.size(); ++logged_) *log_ << lines[logged_] << '\n';
    log_->flush();
}

}  // namespace comflash::sim
