// Whole sessions of comflash-cli against comflash-sim over a pseudo-terminal, one device or a
// line of them written at once, and the HEX loader beside srec_cat. A plain program: it prints
// one table of figures and asserts none; it exits 1 only when a device of the line is left
// with other memory than a device written alone.
//
//   session_bench [--quick | --station] [--wine COMFLASH_CLI_EXE]
//
// --quick skips the runs at the pace of the line (about 80 s, nearly all of the time);
// --station runs only the production station's figures; --wine also times the Windows
// comflash-cli.exe under Wine in the same line-paced write.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "image/hex_loader.h"
#include "sample_hex.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kModel = "12:3:255";
constexpr int kBaud = 19200;
constexpr int kBitsPerByte = 10;
constexpr int kLineDevices = 8;  // devices written at once by one comflash-cli

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An Intel HEX file of `size` bytes from address 0 in records of `recordLength` bytes.
std::string hexFile(std::size_t size, std::size_t recordLength) {
    return comflash::bench::sampleHexFile(size, recordLength, 3);
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct Child {
    pid_t pid = -1;
    int out = -1;  // its standard output, when captured
};

Child spawn(const std::vector<std::string>& args, bool captureOut) {
    Child child;
    int pipeEnds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureOut && pipe2(pipeEnds, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        // --json moves the texts for people to standard error: they go where a plain run's
        // go, so that both runs write the same texts to the same place.
        if (std::find(args.begin(), args.end(), "--json") != args.end()) {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        }
    }
    std::vector<std::string> all = args;
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (pipeEnds[1] >= 0) ::close(pipeEnds[1]);
    child.out = pipeEnds[0];
    return child;
}

// What the system counted for a child that has ended.
struct Usage {
    long peakKiB = 0;       // peak resident memory
    double cpuSeconds = 0;  // user and system time
};

double seconds(const timeval& time) {
    return double(time.tv_sec) + double(time.tv_usec) * 1e-6;
}

// Waits for the child; its exit status (or -1) and what it used.
int finish(Child& child, Usage* used = nullptr) {
    if (child.out >= 0) ::close(child.out);
    child.out = -1;
    if (child.pid <= 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child.pid, &status, 0, &usage) != child.pid) return -1;
    child.pid = -1;
    if (used != nullptr) {
        used->peakKiB = usage.ru_maxrss;
        used->cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string firstLine(int fd) {
    std::string line;
    char c = 0;
    pollfd ready{fd, POLLIN, 0};
    while (poll(&ready, 1, 10'000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

// The simulator's log: one line per frame received ("rx") and reply sent ("tx"), each
// stamped with the device's time in seconds. A turnaround runs from a reply's last byte to the
// next frame's first byte as the device sees them: the host's time, plus the moments the
// pseudo-terminal and the simulator take to pass the bytes on.
struct LogFigures {
    long lineBytes = 0;               // bytes of frames and replies: each crosses the line once
    double firstAt = -1;              // the first frame received
    double firstReadAt = -1;          // the first read request (a verify pass starts there)
    double lastAt = 0;                // the last line of the log
    int frames = 0;                   // frames received
    std::vector<double> turnarounds;  // from a reply sent to the next frame received, in s
};

std::size_t hexBytes(std::string_view text) {
    std::size_t count = 0;
    std::istringstream words{std::string(text)};
    std::string word;
    while (words >> word) {
        if (word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])) &&
            std::isxdigit(static_cast<unsigned char>(word[1]))) {
            ++count;
        } else if (word.front() == '(') {
            break;
        }
    }
    return count;
}

// With line timing a frame is stamped when its last byte has crossed the line: its turnaround
// ends where its first byte started.
LogFigures readLog(const fs::path& path, bool lineTiming) {
    LogFigures figures;
    std::ifstream log(path);
    std::string line;
    double lastReply = -1;
    while (std::getline(log, line)) {
        std::istringstream words(line);
        double at = 0;
        std::string kind;
        std::string tag;
        words >> at >> kind >> tag;
        if (kind != "rx" && kind != "tx") continue;
        figures.lastAt = at;
        if (kind == "rx" && figures.firstAt < 0) figures.firstAt = at;
        if (kind == "rx" && figures.firstReadAt < 0 && line.find(" read ") != std::string::npos) {
            figures.firstReadAt = at;
        }
        const std::string rest = line.substr(std::min(line.size(), std::size_t(words.tellg())));
        const auto bytes = static_cast<long>(hexBytes(rest));
        figures.lineBytes += bytes;
        if (kind == "tx") {
            lastReply = at;
        } else {
            ++figures.frames;
            const double lineTime = lineTiming ? double(bytes) * kBitsPerByte / kBaud : 0.0;
            if (lastReply >= 0) figures.turnarounds.push_back(at - lineTime - lastReply);
            lastReply = -1;
        }
    }
    return figures;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * double(values.size() - 1) + 0.5);
    return values[index];
}

struct SessionRun {
    int simStatus = -1;
    int cliStatus = -1;
    double seconds = 0;
    long cliPeakKiB = 0;
    double cliCpuSeconds = 0;  // user and system time of comflash-cli
    LogFigures log;
};

// How comflash-cli is started: the Linux program with the device's path, or the Windows one
// under Wine with COM1 of a prefix linked to that path.
struct Program {
    std::vector<std::string> command{COMFLASH_CLI};
    std::function<std::string(const std::string& device)> port = [](const std::string& device) {
        return device;
    };
    std::function<std::string(const fs::path&)> file = [](const fs::path& path) {
        return path.string();
    };
};

// One session: comflash-sim serving one session, comflash-cli `command` against it.
SessionRun runSession(const fs::path& folder, const std::string& command, const fs::path& file,
                      bool lineTiming, const fs::path& memory,
                      const std::vector<std::string>& options = {}, const Program& program = {},
                      const std::vector<std::string>& simOptions = {}) {
    SessionRun run;
    const fs::path log = folder / "sim.log";
    std::vector<std::string> simArgs{COMFLASH_SIM, "--model", kModel,      "--sessions",
                                     "1",          "--log",   log.string()};
    if (lineTiming) simArgs.emplace_back("--line-timing");
    simArgs.insert(simArgs.end(), simOptions.begin(), simOptions.end());
    if (!memory.empty()) {
        simArgs.emplace_back("--memory");
        simArgs.push_back(memory.string());
    }
    Child sim = spawn(simArgs, true);
    const std::string path = sim.out >= 0 ? firstLine(sim.out) : std::string();
    if (path.empty()) {
        if (sim.pid > 0) kill(sim.pid, SIGKILL);
        finish(sim);
        return run;
    }
    std::vector<std::string> cliArgs = program.command;
    const std::string port = program.port(path);
    const auto start = Clock::now();
    for (const std::string& arg : {command, program.file(file), std::string("--port"), port,
                                   std::string("--model"), std::string(kModel)}) {
        cliArgs.push_back(arg);
    }
    cliArgs.insert(cliArgs.end(), options.begin(), options.end());
    Child cli = spawn(cliArgs, false);
    Usage used;
    run.cliStatus = finish(cli, &used);
    run.cliPeakKiB = used.peakKiB;
    run.cliCpuSeconds = used.cpuSeconds;
    run.seconds = secondsSince(start);
    run.simStatus = finish(sim);
    run.log = readLog(log, lineTiming);
    return run;
}

// What a lost answer costs the 32 KiB write, by the frame it answered: the write with that
// frame lost, less the write without. Frames of the image from 0: 1 the handshake, then per
// 128-byte unit an erase, a write command and its data block, and 770 the go.
void printLostAnswers(const fs::path& folder, const fs::path& image, double clean) {
    struct Lost {
        const char* kind;
        const char* frame;
    };
    const Lost lost[] = {{"handshake", "drop:1"},
                         {"erase", "drop:5"},
                         {"write command", "drop:6"},
                         {"data block", "drop:7"},
                         {"go", "drop:770"}};
    for (const Lost& one : lost) {
        const SessionRun run =
            runSession(folder, "write", image, false, {}, {}, {}, {"--fault", one.frame});
        char name[64];
        std::snprintf(name, sizeof name, "  a lost %s answer", one.kind);
        std::printf("%-34s +%.3f s  status cli %d sim %d\n", name, run.seconds - clean,
                    run.cliStatus, run.simStatus);
    }
}

void printSession(const char* name, const SessionRun& run, bool lineTiming) {
    const double bound = double(run.log.lineBytes) * kBitsPerByte / kBaud;
    std::printf("%-34s %8.3f s  status cli %d sim %d  frames %d  line bytes %ld\n", name,
                run.seconds, run.cliStatus, run.simStatus, run.log.frames, run.log.lineBytes);
    if (lineTiming) {
        std::printf("%-34s %8.3f s  bound %.3f s  ratio %.4f\n", "  against the line-time bound",
                    run.seconds, bound, bound > 0 ? run.seconds / bound : 0.0);
    }
    std::printf("%-34s median %.3f ms  p99 %.3f ms  frames/s %.0f\n", "  host turnaround per reply",
                percentile(run.log.turnarounds, 0.5) * 1e3,
                percentile(run.log.turnarounds, 0.99) * 1e3,
                run.seconds > 0 ? run.log.frames / run.seconds : 0.0);
}

// A production line: `devices` comflash-sim processes at the pace of the line, each serving one
// session, and one comflash-cli write that names every device's path with --port.
struct LineRun {
    int cliStatus = -1;
    std::vector<int> simStatus;
    double seconds = 0;
    double cliCpuSeconds = 0;
    std::vector<std::string> dumps;  // each device's memory at its end, in --port order
};

LineRun runLine(const fs::path& folder, const fs::path& file, int devices) {
    LineRun run;
    std::vector<Child> sims;
    std::vector<fs::path> dumpFiles;
    std::vector<std::string> cliArgs{COMFLASH_CLI, "write", file.string(), "--model", kModel};
    bool started = true;
    for (int i = 0; i < devices && started; ++i) {
        dumpFiles.push_back(
            folder / ("line_" + std::to_string(devices) + "_" + std::to_string(i + 1) + ".bin"));
        sims.push_back(spawn({COMFLASH_SIM, "--model", kModel, "--sessions", "1", "--line-timing",
                              "--dump", dumpFiles.back().string()},
                             true));
        const std::string path = sims.back().out >= 0 ? firstLine(sims.back().out) : std::string();
        started = !path.empty();
        cliArgs.insert(cliArgs.end(), {"--port", path});
    }
    if (started) {
        const auto start = Clock::now();
        Child cli = spawn(cliArgs, false);
        Usage used;
        run.cliStatus = finish(cli, &used);
        run.seconds = secondsSince(start);
        run.cliCpuSeconds = used.cpuSeconds;
    }
    // A device whose session never reached an accepted go frame would serve on: SIGTERM ends
    // it, and it still writes its dump.
    for (Child& sim : sims) {
        if (run.cliStatus != 0 && sim.pid > 0) kill(sim.pid, SIGTERM);
        run.simStatus.push_back(finish(sim));
    }
    for (const fs::path& dump : dumpFiles) {
        std::ifstream in(dump, std::ios::binary);
        run.dumps.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
    }
    return run;
}

std::string statusList(const std::vector<int>& statuses) {
    std::string text;
    for (const int status : statuses) {
        if (!text.empty()) text += ' ';
        text += std::to_string(status);
    }
    return text;
}

void printLine(const char* name, const LineRun& run) {
    std::printf("%-34s %8.3f s  status cli %d sim%s %s  cli cpu %.3f s\n", name, run.seconds,
                run.cliStatus, run.simStatus.size() == 1 ? "" : "s",
                statusList(run.simStatus).c_str(), run.cliCpuSeconds);
}

// The production station: `fixtures` comflash-sim fixtures at the pace of the line, each
// serving kStationBoards boards with a fixed gap, and one comflash-cli station on all of them,
// stopped by SIGINT once every fixture has served its last board.
constexpr int kStationBoards = 3;
constexpr int kStationGapMs = 1000;
constexpr double kRemovalMoment = 0.5;  // a flashed board is taken out this long after its go

struct StationRun {
    int cliStatus = -1;
    std::vector<int> simStatus;
    double period = 0;       // seconds per board on one fixture, the slowest fixture's
    double boundPeriod = 0;  // the session's line time, the removal moment and the gap
    int records = 0;         // lines of the log after its header
};

StationRun runStation(const fs::path& folder, const fs::path& file, int fixtures,
                      const std::vector<std::string>& extra = {}) {
    StationRun run;
    std::vector<Child> sims;
    std::vector<fs::path> logs;
    const fs::path csv = folder / ("station_" + std::to_string(fixtures) + ".csv");
    fs::remove(csv);
    std::vector<std::string> cliArgs{COMFLASH_CLI, "station", file.string(), "--model",
                                     kModel,       "--log",   csv.string()};
    cliArgs.insert(cliArgs.end(), extra.begin(), extra.end());
    bool started = true;
    for (int i = 0; i < fixtures && started; ++i) {
        logs.push_back(folder /
                       ("station_" + std::to_string(fixtures) + "_" + std::to_string(i) + ".log"));
        sims.push_back(spawn({COMFLASH_SIM, "--model", kModel, "--line-timing", "--boards",
                              std::to_string(kStationBoards), "--board-gap",
                              std::to_string(kStationGapMs), "--log", logs.back().string()},
                             true));
        const std::string path = sims.back().out >= 0 ? firstLine(sims.back().out) : std::string();
        started = !path.empty();
        cliArgs.insert(cliArgs.end(), {"--port", path});
    }
    Child cli = started ? spawn(cliArgs, false) : Child{};
    for (Child& sim : sims) run.simStatus.push_back(finish(sim));
    if (cli.pid > 0) kill(cli.pid, SIGINT);
    run.cliStatus = finish(cli);
    for (const fs::path& log : logs) {
        // Each go's acknowledgement, and the line bytes of the first board's session.
        std::ifstream in(log);
        std::vector<double> goes;
        long lineBytes = 0;
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            double at = 0;
            std::string kind;
            std::string tag;
            words >> at >> kind >> tag;
            if (line.find("session ended: go") != std::string::npos) goes.push_back(at);
            if (goes.empty() && (kind == "rx" || kind == "tx")) {
                lineBytes += static_cast<long>(
                    hexBytes(line.substr(std::min(line.size(), std::size_t(words.tellg())))));
            }
        }
        if (goes.size() < 2) continue;
        run.period = std::max(run.period, (goes.back() - goes.front()) / double(goes.size() - 1));
        run.boundPeriod =
            double(lineBytes) * kBitsPerByte / kBaud + kRemovalMoment + kStationGapMs / 1000.0;
    }
    std::ifstream records(csv);
    for (std::string line; std::getline(records, line);) ++run.records;
    run.records = std::max(0, run.records - 1);
    return run;
}

void printStation(int fixtures, const StationRun& run, double alonePeriod, const char* also = "",
                  const char* against = "one fixture (target at most 1.1)") {
    const std::string name = "station, " + std::to_string(fixtures) + " fixture" +
                             (fixtures == 1 ? "" : "s") + also + ", line timing";
    std::printf("%-34s %8.3f s a board  %.0f boards/h  bound %.3f s (%.0f boards/h)\n",
                name.c_str(), run.period, run.period > 0 ? 3600 * fixtures / run.period : 0.0,
                run.boundPeriod, run.boundPeriod > 0 ? 3600 * fixtures / run.boundPeriod : 0.0);
    std::printf("%-34s %d records  status cli %d sims %s", "", run.records, run.cliStatus,
                statusList(run.simStatus).c_str());
    if (alonePeriod > 0) {
        std::printf("  ratio %.3f to %s", run.period / alonePeriod, against);
    }
    std::printf("\n");
}

// Whether every device of the line holds what the device written alone holds; prints a line
// saying so, or naming the first difference of each device that differs.
bool compareDumps(const LineRun& line, const LineRun& alone) {
    const char* name = "  device memory";
    if (alone.cliStatus != 0 || alone.dumps.empty() || alone.dumps.front().empty()) {
        std::printf("%-34s MISMATCH: no memory to compare with (the write alone: status %d)\n",
                    name, alone.cliStatus);
        return false;
    }
    const std::string& expected = alone.dumps.front();
    bool equal = true;
    for (std::size_t i = 0; i < line.dumps.size(); ++i) {
        const std::string& dump = line.dumps[i];
        if (dump == expected) continue;
        equal = false;
        const auto [ours, theirs] =
            std::mismatch(dump.begin(), dump.end(), expected.begin(), expected.end());
        if (ours == dump.end() || theirs == expected.end()) {
            std::printf("%-34s MISMATCH: device %zu of %zu left %zu bytes, the device alone %zu\n",
                        name, i + 1, line.dumps.size(), dump.size(), expected.size());
        } else {
            std::printf(
                "%-34s MISMATCH: device %zu of %zu differs from the device alone at 0x%04zX "
                "(%02X, alone %02X)\n",
                name, i + 1, line.dumps.size(), static_cast<std::size_t>(ours - dump.begin()),
                static_cast<unsigned>(static_cast<unsigned char>(*ours)),
                static_cast<unsigned>(static_cast<unsigned char>(*theirs)));
        }
    }
    if (equal) {
        std::printf("%-34s dumps equal: each of the %zu devices holds what one alone holds\n", name,
                    line.dumps.size());
    }
    return equal;
}

// The median of `runs` timings of `what`.
template <typename What>
double medianSeconds(int runs, What what) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        what();
        times.push_back(secondsSince(start));
    }
    return percentile(times, 0.5);
}

const char* resultName(comflash::image::LoadResult result) {
    using comflash::image::LoadResult;
    switch (result) {
        case LoadResult::Loaded:
            return "loaded";
        case LoadResult::ChecksumMismatch:
            return "checksum mismatch";
        case LoadResult::FaultyRecord:
            return "faulty record";
        case LoadResult::ReadFailed:
            return "read failed";
        case LoadResult::NoData:
            return "no data";
        case LoadResult::NotARecord:
            return "not a record";
    }
    return "?";
}

void compareLoading(const fs::path& folder, std::size_t recordLength) {
    const std::string text = hexFile(comflash::kImageSize, recordLength);
    const fs::path file = folder / ("load_" + std::to_string(recordLength) + ".hex");
    const fs::path binary = folder / "load.bin";
    writeFile(file, text);
    auto result = comflash::image::LoadResult::ReadFailed;
    auto app = std::make_unique<comflash::AppState>();
    const double ours = medianSeconds(21, [&] {
        app = std::make_unique<comflash::AppState>();
        comflash::image::HexReader reader(*app);
        std::ifstream in(file, std::ios::binary);
        result = comflash::image::LoadHexFile(in, reader);
    });
    int srecStatus = -1;
    const double theirs = medianSeconds(5, [&] {
        Child srec = spawn(
            {COMFLASH_SREC_CAT, file.string(), "-intel", "-o", binary.string(), "-binary"}, false);
        srecStatus = finish(srec);
    });
    // Both read the same bytes: the image beside srec_cat's binary.
    std::ifstream in(binary, std::ios::binary);
    const std::string theirBytes{std::istreambuf_iterator<char>(in), {}};
    const bool same =
        theirBytes.size() == app->FirmwareImage.size() &&
        std::equal(theirBytes.begin(), theirBytes.end(), app->FirmwareImage.begin(),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    std::printf("%-34s comflash %.3f ms (%s)  srec_cat %.3f ms (status %d)  ratio %.3f  %s\n",
                ("load 64 KiB HEX, " + std::to_string(recordLength) + "-byte records").c_str(),
                ours * 1e3, resultName(result), theirs * 1e3, srecStatus,
                theirs > 0 ? ours / theirs : 0.0, same ? "same bytes" : "bytes differ");
}

// comflash-cli.exe under Wine, in a prefix of its own whose COM1 leads to the device. The
// prefix's server is kept running and the program started once before the timed run, so that
// the run pays for the program, not for Wine's own start (the first start is printed apart).
struct WineProgram {
    Program program;
    double coldStart = 0;  // the untimed first start, seconds
};

int runShell(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> all{"/bin/bash", "-c", script, "bash"};
    all.insert(all.end(), args.begin(), args.end());
    Child child = spawn(all, false);
    return finish(child);
}

WineProgram wineProgram(const fs::path& folder, const std::string& exe) {
    const char* given = std::getenv("WINEPREFIX");
    const std::string prefix = given != nullptr ? given : (folder / "wine").string();
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    WineProgram wine;
    wine.program.command = {"/usr/bin/wine", exe};
    wine.program.port = [](const std::string& device) {
        runShell("source \"$1\" && link_wine_port 1 \"$2\" >/dev/null 2>&1",
                 {COMFLASH_SOURCE_DIR "/tests/win32/wine_port.sh", device});
        return std::string("COM1");
    };
    wine.program.file = [](const fs::path& path) { return "Z:" + path.string(); };
    runShell(
        "{ source \"$1\" && link_wine_port 1 /dev/null; wineserver -k; wineserver -w; "
        "wineserver -p; } >/dev/null 2>&1",
        {COMFLASH_SOURCE_DIR "/tests/win32/wine_port.sh"});
    const auto start = Clock::now();
    Child first = spawn({"/usr/bin/wine", exe, "--version"}, false);
    finish(first);
    wine.coldStart = secondsSince(start);
    return wine;
}

void stopWine() {
    runShell("{ wineserver -k; wineserver -w; } >/dev/null 2>&1", {});
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const bool quick = std::ranges::find(args, "--quick") != args.end();
    const bool stationOnly = std::ranges::find(args, "--station") != args.end();
    // --wine EXE: the Windows comflash-cli.exe writes too, under Wine, beside the Linux one.
    const auto wineAt = std::ranges::find(args, "--wine");
    const std::string wineExe =
        wineAt != args.end() && wineAt + 1 != args.end() ? std::string(*(wineAt + 1)) : "";
    const fs::path folder =
        fs::temp_directory_path() / ("comflash-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path image = folder / "image_1.00.hex";
    writeFile(image, hexFile(32 * 1024, 16));
    const fs::path readBack = folder / "read.hex";
    // The same 32 KiB in the read window, where a write can be verified.
    const fs::path upper = folder / "upper_1.00.hex";
    writeFile(upper, comflash::bench::sampleHexFile(32 * 1024, 16, 3, 0x8000));

    std::printf(
        "comflash session benchmark: 32 KiB image, %d baud, comflash-cli against "
        "comflash-sim over a pseudo-terminal\n\n",
        kBaud);
    if (!quick) {
        // Boards of 4 KiB, three to a fixture: one fixture, then eight at once.
        const fs::path boardImage = folder / "board_1.00.hex";
        writeFile(boardImage, hexFile(4 * 1024, 16));
        const StationRun one = runStation(folder, boardImage, 1);
        printStation(1, one, 0);
        const StationRun eight = runStation(folder, boardImage, kLineDevices);
        printStation(kLineDevices, eight, one.period);
        std::printf("%-34s %.3f of the bound\n", "  one fixture's board",
                    one.period / one.boundPeriod);
        // With the factory's database (under pg_virtualenv, whose PG* variables name it):
        // every record goes there as well.
        if (std::getenv("PGHOST") != nullptr) {
            const StationRun withDb =
                runStation(folder, boardImage, kLineDevices, {"--db", "", "--station", "bench"});
            printStation(kLineDevices, withDb, eight.period, " --db", "the run without --db");
            std::printf("%-34s %+.1f%% a board against the same run without it\n",
                        "  the database's cost", 100.0 * (withDb.period / eight.period - 1));
        }
        if (stationOnly) {
            fs::remove_all(folder);
            return 0;
        }
    }
    if (!quick) {
        printSession("write 32 KiB, line timing", runSession(folder, "write", image, true, {}),
                     true);
    }
    if (!quick && !wineExe.empty()) {
        const WineProgram wine = wineProgram(folder, wineExe);
        printSession("write 32 KiB, .exe under Wine",
                     runSession(folder, "write", image, true, {}, {}, wine.program), true);
        std::printf("%-34s %8.3f s  (not in the run above: its prefix was started before)\n",
                    "  Wine's own first start", wine.coldStart);
        stopWine();
    }
    if (!quick) {
        const SessionRun verified = runSession(folder, "write", upper, true, {}, {"--verify"});
        printSession("write 32 KiB --verify, line timing", verified, true);
        const double span = verified.log.lastAt - verified.log.firstAt;
        std::printf("%-34s %.3f of the session (%.3f s of %.3f s, from the first read request)\n",
                    "  the verify pass",
                    span > 0 ? (verified.log.lastAt - verified.log.firstReadAt) / span : 0.0,
                    verified.log.lastAt - verified.log.firstReadAt, span);
    }
    const SessionRun fast = runSession(folder, "write", image, false, {});
    printSession("write 32 KiB, no line timing", fast, false);
    std::printf("%-34s %8ld KiB\n", "  peak memory of comflash-cli write", fast.cliPeakKiB);
    // --json beside the plain write, taken in turns: its lines must cost nothing the write
    // would notice, in time or in the program's own work.
    {
        constexpr int kRuns = 11;
        std::vector<double> plain[2];
        std::vector<double> json[2];
        for (int i = 0; i < kRuns; ++i) {
            const SessionRun without = runSession(folder, "write", image, false, {});
            const SessionRun with = runSession(folder, "write", image, false, {}, {"--json"});
            plain[0].push_back(without.seconds);
            plain[1].push_back(without.cliCpuSeconds);
            json[0].push_back(with.seconds);
            json[1].push_back(with.cliCpuSeconds);
        }
        for (const int cpu : {0, 1}) {
            const double without = percentile(plain[cpu], 0.5);
            const double with = percentile(json[cpu], 0.5);
            std::printf("%-34s %.3f s, with --json %.3f s: %.3f of it (medians of %d)\n",
                        cpu ? "  comflash-cli's processor time" : "write 32 KiB, no line timing",
                        without, with, without > 0 ? with / without : 0.0, kRuns);
        }
    }
    if (!quick) {
        printLostAnswers(folder, image, fast.seconds);
        // A noisy line, answered without a terminal and without --retries.
        const SessionRun noisy = runSession(folder, "write", image, true, {}, {}, {},
                                            {"--fault", "random:0.01", "--seed", "1"});
        printSession("write 32 KiB, random:0.01, line timing", noisy, true);
    }
    if (!quick) {
        printSession("read 32 KiB, line timing", runSession(folder, "read", readBack, true, image),
                     true);
    }
    printSession("read 32 KiB, no line timing", runSession(folder, "read", readBack, false, image),
                 false);
    bool dumpsEqual = true;
    if (!quick) {
        // The same write to one device alone, then to a line of them at once.
        const LineRun alone = runLine(folder, image, 1);
        printLine("write 32 KiB, 1 port, line timing", alone);
        const LineRun line = runLine(folder, image, kLineDevices);
        printLine(("write 32 KiB, " + std::to_string(kLineDevices) + " ports, line timing").c_str(),
                  line);
        std::printf("%-34s ratio %.3f (%.3f s against %.3f s; target at most 1.1)\n",
                    "  against one port alone",
                    alone.seconds > 0 ? line.seconds / alone.seconds : 0.0, line.seconds,
                    alone.seconds);
        std::printf("%-34s %.3f of its wall time (%.3f s of %.3f s)\n",
                    "  cpu of comflash-cli (user+sys)",
                    line.seconds > 0 ? line.cliCpuSeconds / line.seconds : 0.0, line.cliCpuSeconds,
                    line.seconds);
        dumpsEqual = compareDumps(line, alone);
    }
    std::printf("\n");
    compareLoading(folder, 16);
    compareLoading(folder, 255);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    // The figures are only printed; a device left with other memory is a failure.
    return dumpsEqual ? 0 : 1;
}
