// comflash-sim: the strict simulated bootloader device on a pseudo-terminal.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <string_view>
#include <vector>

#include "sim/command_line.h"
#include "sim/fixture.h"
#include "sim/hex_file.h"
#include "sim/pty_server.h"

namespace {

constexpr int kExitViolations = 1;
constexpr int kExitTrouble = 2;

int trouble(const std::string& text) {
    std::cerr << "comflash-sim: " << text << '\n';
    return kExitTrouble;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace comflash::sim;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    auto parsed = parseCommandLine(args);
    if (auto* problem = std::get_if<std::string>(&parsed)) return trouble(*problem);
    SimOptions& options = std::get<SimOptions>(parsed);
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (!options.memoryFile.empty()) {
        std::ifstream text(options.memoryFile);
        if (!text) return trouble("cannot read " + options.memoryFile);
        if (auto problem = loadIntelHex(text, options.device.memory)) {
            return trouble(options.memoryFile + ": " + *problem);
        }
    }
    std::ofstream log;
    if (!options.logFile.empty()) {
        log.open(options.logFile);
        if (!log) return trouble("cannot write " + options.logFile);
    }

    // SIGINT and SIGTERM end the run through the poll loop, so the dump is always written.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return trouble("cannot block signals");
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (stopFd < 0) return trouble("cannot watch signals");

    Fixture fixture(options.device, options.fixture);
    {
        PtyServer server(fixture, log.is_open() ? &log : nullptr);
        if (auto problem = server.start()) return trouble(*problem);
        std::cout << server.path() << std::endl;
        server.run(stopFd, options.sessions);
    }
    close(stopFd);

    if (!options.dumpFile.empty()) {
        // In a fixture every board that was put in is dumped, each to a file of its own.
        const bool boards = options.fixture.boards > 0;
        std::string unwritten;
        for (int board = 1; board <= fixture.boardsPutIn(); ++board) {
            const std::string name =
                boards ? dumpFileOf(options.dumpFile, board) : options.dumpFile;
            const Memory& memory = fixture.board(board)->memory();
            std::ofstream dump(name, std::ios::binary);
            dump.write(reinterpret_cast<const char*>(memory.data()),
                       static_cast<std::streamsize>(memory.size()));
            if (!dump) unwritten = unwritten.empty() ? name : unwritten + ", " + name;
        }
        if (!unwritten.empty()) return trouble("cannot write " + unwritten);
    }
    const std::vector<std::string> violations = fixture.violations();
    for (const std::string& violation : violations) {
        std::cerr << "comflash-sim: violation " << violation << '\n';
    }
    return violations.empty() ? 0 : kExitViolations;
}
