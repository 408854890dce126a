// The options of comflash-sim.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "sim/device.h"
#include "sim/fixture.h"

namespace comflash::sim {

struct SimOptions {
    DeviceOptions device;
    FixtureOptions fixture;  // boards 0: one device that stays
    std::string memoryFile;  // empty: the memory starts erased
    std::string dumpFile;    // empty: no dump; in a fixture, a pattern (see dumpFileOf)
    std::string logFile;     // empty: no log
    int sessions = 0;        // 0: serve until a signal ends the run
    bool help = false;
};

// Reads the arguments that follow the program name. The memory file is only named here;
// loading it is the caller's business. Returns the reason when an argument is wrong.
std::variant<SimOptions, std::string> parseCommandLine(std::span<const std::string_view> args);

// Where board `board` of a fixture is dumped: "%d" in the pattern becomes the board's number;
// a pattern without it gets ".N" appended.
std::string dumpFileOf(const std::string& pattern, int board);

// The --help text.
extern const std::string_view kUsage;

}  // namespace comflash::sim
