// Serves a fixture of simulated devices (or one device on a bench) on a pseudo-terminal: the OS
// side of comflash-sim.
//
// The host opens a stable path, a symbolic link to the pseudo-terminal's slave side. The server
// keeps its own descriptor on the slave, so the pseudo-terminal lives on while the host closes
// and reopens it; it never reads that descriptor, it only uses it to read the line settings the
// host made and how much of the device's output the host has not read yet. The host's opens
// and closes are seen through inotify on the slave's device file; while no host has the line
// open, what the device sends is lost, as on a closed serial port. Bytes a host writes just
// before it closes the line reach the device before the close. A fixture that unplugs its line
// while empty makes the line hang up and the path disappear until the next board is put in.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/fixture.h"

namespace comflash::sim {

class PtyServer {
  public:
    // `log`, when given, receives the device's transcript as it grows.
    PtyServer(Fixture& fixture, std::ostream* log);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal and the path the host opens; returns the reason on failure.
    std::optional<std::string> start();
    const std::string& path() const { return link_; }

    // Serves until `stopFd` turns readable (the caller's signal descriptor), or until `sessions`
    // sessions have ended with an accepted go frame (0: no limit) or the fixture is done, and
    // the host has read the last reply.
    void run(int stopFd, int sessions);

  private:
    struct Terminal {
        int master = -1;
        int slave = -1;  // the server's own descriptor on the slave side
        int watch = -1;  // inotify watch on the slave's device file
        std::string slavePath;
    };
    std::optional<std::string> openTerminal(Terminal& terminal) const;
    void closeTerminal(Terminal& terminal) const;
    void hangUp();
    void unplug();  // the line hangs up and its path goes
    void plug();    // a fresh line at the path
    Micros now() const;
    struct LineEvent {
        int watch;
        std::uint32_t mask;
    };
    using Bytes = std::vector<std::uint8_t>;
    void serviceLine();
    std::vector<LineEvent> readLineEvents();
    void apply(const LineEvent& event);
    std::vector<Bytes> readHost();  // what the host wrote, as the reads gave it
    void feed(const std::vector<Bytes>& chunks);
    void enqueue(Emission emission);
    void deliverDue();
    void flushOutput();
    bool drained() const;
    void writeLog();

    Fixture& fixture_;
    std::ostream* log_;
    std::size_t logged_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::string folder_;
    std::string link_;
    Terminal line_;
    int inotify_ = -1;
    int opens_ = 0;  // host descriptors open on the slave
    // Emissions not yet due, earliest first; those due at the same time in the order the
    // device gave them. A late reply may have been given before an echo that is due earlier.
    std::deque<Emission> queue_;
    std::vector<std::uint8_t> output_;  // due bytes the pseudo-terminal has not taken yet
    Micros lastWrite_{0};
};

}  // namespace comflash::sim
