// The station on the headless toolkit in virtual time, against simulated fixtures: boards come
// and go on two ports, each is flashed exactly once, a failed board that stays is left alone,
// a port that vanishes comes back, and every board gets exactly one record.
#include "cli/station.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cli/station_log_reader.h"
#include "image/sha256.h"
#include "request_of.h"
#include "sim/fixture.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::cli {
namespace {

using namespace std::chrono_literals;
using ui::headless::HeadlessToolkit;
using Strings = std::vector<std::string>;

AppState loadedState() {
    AppState state;
    state.UseEnglish = true;
    state.ModelId = {1, 2, 3};
    state.FirmwareMajor = 1;
    state.FirmwareMinor = 3;
    state.ImageStart = 0x9000;
    state.ImageEnd = 0x93FF;
    for (std::size_t i = 0; i < state.FirmwareImage.size(); ++i) {
        state.FirmwareImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return state;
}

using testing::requestOf;

// Port i is the toolkit's port number i + 1.
PortSupply supply(HeadlessToolkit& toolkit) {
    return {[&toolkit](std::size_t i) { return toolkit.makePort(static_cast<int>(i + 1)); },
            [&toolkit] { return toolkit.makeTimer(); }};
}

// One port's fixture and how it shows on the toolkit.
struct Line {
    int boards;
    bool unplug;
    std::chrono::milliseconds stay;
    Strings boardFaults;                    // "K:SPEC"
    std::chrono::milliseconds appearAt{0};  // the port is there only from then on
};

// Fixtures on ports 1, 2, ... following the virtual clock every 10 ms; a fixture that unplugs
// takes its port away while it is empty.
class Bench {
  public:
    Bench(HeadlessToolkit& toolkit, const std::vector<Line>& lines) : toolkit_(toolkit) {
        for (const Line& line : lines) {
            sim::DeviceOptions device;
            device.lineTiming = true;
            sim::FixtureOptions options{line.boards, 1s, line.stay, line.unplug, {}};
            for (const std::string& fault : line.boardFaults) {
                const int board = std::stoi(fault);
                EXPECT_FALSE(options.faults[board].add(fault.substr(fault.find(':') + 1)));
            }
            fixtures_.push_back(std::make_unique<sim::Fixture>(device, options));
            appearAt_.push_back(line.appearAt);
        }
        follow();
    }
    sim::Fixture& fixture(std::size_t i) { return *fixtures_[i]; }
    bool done() const {
        for (const auto& fixture : fixtures_) {
            if (!fixture->done()) return false;
        }
        return true;
    }
    void quit() { following_ = false; }

  private:
    void follow() {
        const auto now = toolkit_.clock().now();
        for (std::size_t i = 0; i < fixtures_.size(); ++i) {
            sim::Fixture& fixture = *fixtures_[i];
            fixture.advance(now);
            const int number = static_cast<int>(i + 1);
            const bool there = now >= appearAt_[i] && (!fixture.unplugs() || fixture.boardIn());
            if (there && toolkit_.port(number) == nullptr) toolkit_.addPort(number, &fixture);
            if (!there && toolkit_.port(number) != nullptr) toolkit_.unplug(number);
        }
        if (following_) toolkit_.clock().schedule(now + 10ms, [this] { follow(); });
    }

    HeadlessToolkit& toolkit_;
    std::vector<std::unique_ptr<sim::Fixture>> fixtures_;
    std::vector<std::chrono::milliseconds> appearAt_;
    bool following_ = true;
};

// How often a board's first erase unit was erased: once per time it was flashed.
int timesFlashed(const sim::Device& board) {
    int count = 0;
    for (const std::string& line : board.transcript()) {
        if (line.find("rx") != std::string::npos &&
            line.find("erase 55 01 00 90 00") != std::string::npos) {
            ++count;
        }
    }
    return count;
}

TEST(StationTest, FlashesEveryBoardOnceAndRecordsIt) {
    struct Case {
        const char* name;
        std::vector<Line> lines;
        std::vector<Strings> codes;  // per port, the result codes of its records in order
        int logFailsAt = -1;         // the record the log refuses; -1: none
    };
    const std::vector<Case> cases = {
        {"another model on one line, a stuck byte on a line whose adapter is on the board",
         {{3, false, 8s, {"2:model:1-1000000"}}, {3, true, 8s, {"3:stuck:0x9010:0x00"}}},
         {{"succeeded", "other-model", "succeeded"}, {"succeeded", "succeeded", "verify-failed"}}},
        {"a port missing at the start appears and is served",
         {{2, true, 0s, {}, 2500ms}, {2, false, 0s, {}}},
         {{"succeeded", "succeeded"}, {"succeeded", "succeeded"}}},
        {"the device goes silent in the middle of a board",
         {{2, false, 30s, {"1:drop:6-1000000"}}},
         {{"board-lost", "succeeded"}}},
        {"a board taken out in the middle of its session, the next put in soon after",
         {{2, false, 5s, {"1:drop:9-1000000"}}},
         {{"board-lost", "succeeded"}}},
        {"a log that fails stops new boards and keeps the record in progress",
         {{3, false, 0s, {}}, {3, false, 0s, {}}},
         {{"succeeded"}, {"succeeded"}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessToolkit toolkit;
        Bench bench(toolkit, c.lines);
        Strings names;
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            names.push_back("COM" + std::to_string(i + 1));
        BoardRecord blank;
        blank.firmware = "Fw_1.03.hex";
        Strings logged;
        Strings events;
        const AppState loaded = loadedState();
        session::Request verified = requestOf(loaded);
        verified.verify = true;
        Station station(
            verified, loaded.FirmwareImage, supply(toolkit), names, names, 0, blank,
            [&toolkit] {
                return std::chrono::duration_cast<std::chrono::milliseconds>(toolkit.clock().now());
            },
            [] { return std::chrono::system_clock::time_point{}; },
            [&](const BoardRecord& record) {
                if (static_cast<int>(logged.size()) == c.logFailsAt) return std::string("full");
                logged.push_back(record.port + " " + record.code);
                return std::string();
            });
        station.onEvent = [&events](const std::string& line) { events.push_back(line); };
        bool ended = false;
        station.onEnded = [&ended] { ended = true; };
        station.start();
        for (int second = 0; second < 120 && !bench.done() && !ended; ++second) {
            toolkit.advance(1s);
        }
        toolkit.advance(3s);
        station.stop();
        bench.quit();
        toolkit.drive();
        ASSERT_TRUE(ended);
        EXPECT_TRUE(toolkit.messages().empty()) << "nobody is asked anything";

        Strings expected;
        std::size_t records = 0;
        for (std::size_t i = 0; i < c.codes.size(); ++i) {
            SCOPED_TRACE(names[i]);
            records += c.codes[i].size();
            for (const std::string& code : c.codes[i]) expected.push_back(names[i] + " " + code);
            for (int board = 1; board <= bench.fixture(i).boardsPutIn(); ++board) {
                const sim::Device& device = *bench.fixture(i).board(board);
                EXPECT_LE(timesFlashed(device), 1) << "board " << board;
            }
            EXPECT_EQ(bench.fixture(i).violations(), Strings{});
        }
        Strings got;
        for (const BoardRecord& record : station.records()) {
            got.push_back(record.port + " " + record.code);
        }
        std::sort(expected.begin(), expected.end());
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected) << "exactly one record per board";
        EXPECT_EQ(station.records().size(), records);
        if (c.logFailsAt < 0) {
            EXPECT_EQ(logged.size(), records);
            EXPECT_EQ(station.failure(), "");
        } else {
            EXPECT_EQ(logged.size(), static_cast<std::size_t>(c.logFailsAt));
            EXPECT_EQ(station.failure(), "full");
        }
        const bool allPassed = std::all_of(station.records().begin(), station.records().end(),
                                           [](const auto& r) { return r.code == "succeeded"; });
        EXPECT_EQ(station.exitStatus(), allPassed && c.logFailsAt < 0 ? 0 : 1);
    }
}

// The first stop lets the board in progress finish; the second cuts it short, recorded. A
// serial number asked for before the stop is waited for, and recorded void.
TEST(StationTest, StopsGentlyOrAtOnce) {
    struct Case {
        const char* name;
        bool atOnce;
        const char* code;
        bool numbered = false;  // stopped while the board's serial number is on its way
    };
    const Case cases[] = {{"once", false, "succeeded"},
                          {"twice", true, "stopped"},
                          {"a number on its way", false, "stopped", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessToolkit toolkit;
        Bench bench(toolkit, {{1, false, 0s, {}}});
        std::vector<BoardRecord> logged;
        const AppState loaded = loadedState();
        Station station(
            requestOf(loaded), loaded.FirmwareImage, supply(toolkit), {"COM1"}, {"/dev/ttyUSB0"}, 0,
            {},
            [&toolkit] {
                return std::chrono::duration_cast<std::chrono::milliseconds>(toolkit.clock().now());
            },
            [] { return std::chrono::system_clock::time_point{}; },
            [&](const BoardRecord& record) {
                logged.push_back(record);
                return std::string();
            });
        BoardSteps::SerialReply reply;
        if (c.numbered) {
            station.steps.reserveSerial = [&reply](BoardSteps::SerialReply done) { reply = done; };
        }
        station.start();
        const auto busy = c.numbered ? StationPort::State::Preparing : StationPort::State::Flashing;
        while (station.status()[0].state != busy) toolkit.advance(10ms);
        station.stop();
        if (c.atOnce) station.stopNow();
        EXPECT_EQ(station.ended(), c.atOnce);
        if (reply) reply("7", "");
        bench.quit();
        toolkit.drive();
        ASSERT_TRUE(station.ended());
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].code, c.code);
        EXPECT_EQ(logged[0].serial + " " + logged[0].serialState, c.numbered ? "7 void" : " ");
        EXPECT_EQ(logged[0].device, "/dev/ttyUSB0");
        EXPECT_FALSE(toolkit.port(1) && toolkit.port(1)->user) << "every port closed";
    }
}

TEST(StationLogTest, FieldsAndRecords) {
    const std::pair<std::string, std::string> fields[] = {
        {"plain", "plain"},
        {"Successful, verified", "\"Successful, verified\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"读写失败,地址 = 95", "\"读写失败,地址 = 95\""},
    };
    for (const auto& [text, field] : fields) EXPECT_EQ(csvField(text), field);
    BoardRecord r;
    r.time = "2026-12-07T14:05:03Z";
    r.port = "COM1";
    r.device = "/dev/ttyUSB0";
    r.firmware = "Fw_1.03.hex";
    r.sha256 = "ab";
    r.model = "1:2:3";
    r.version = "1.3";
    r.result = "Successful, verified";
    r.code = "succeeded";
    r.verified = true;
    r.seconds = 12.34;
    r.bytes = 1024;
    EXPECT_EQ(csvLine(r),
              "2026-12-07T14:05:03Z,COM1,/dev/ttyUSB0,Fw_1.03.hex,ab,1:2:3,1.3,\"Successful, "
              "verified\",succeeded,yes,12.3,1024,,,,,\r\n");
    r.id = "0123";
    r.station = "line 2";
    r.serial = "1007";
    r.serialState = "used";
    r.note = "hook: \"ok\"";
    EXPECT_EQ(csvLine(r).substr(csvLine(r).find("1024,")),
              "1024,0123,line 2,1007,used,\"hook: \"\"ok\"\"\"\r\n");
    EXPECT_EQ(utcTime(std::chrono::system_clock::time_point{} + 86400s + 3723s),
              "1970-01-02T01:02:03Z");
}

// What the log finds in a file it is given: records are appended only under its own header,
// each on a line of its own.
TEST(StationLogTest, AnExistingFileIsAppendedToOnlyWhenItIsALog) {
    const auto path = std::filesystem::temp_directory_path() / "comflash-station-existing.csv";
    BoardRecord record;
    record.port = "COM1";
    record.code = "succeeded";
    const std::string line = csvLine(record);
    std::string header = csvHeader();
    std::string lfHeader = header.substr(0, header.size() - 2) + "\n";
    struct Case {
        const char* name;
        std::string before;
        bool opens;
        std::string after;
    };
    const std::vector<Case> cases{
        {"a new file", "", true, header + line},
        {"a last line without its end", header + "x,y", true, header + "x,y\r\n" + line},
        {"a header saved with LF alone", lfHeader, true, lfHeader + line},
        {"another file", "name,score\r\nann,3\r\n", false, "name,score\r\nann,3\r\n"},
        {"an older format", "time,port,result\r\n", false, "time,port,result\r\n"},
        // Kept as it is: its rows have no id, station or serial number to put beside new ones.
        {"the log before ids", olderCsvHeader() + "x\r\n", false, olderCsvHeader() + "x\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        if (!c.before.empty()) std::ofstream(path, std::ios::binary) << c.before;
        {
            StationLog log;
            const std::string why = log.open(path.string());
            EXPECT_EQ(why.empty(), c.opens) << why;
            if (c.opens) {
                EXPECT_EQ(log.append(record), "");
            }
        }
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.after);
    }
    std::filesystem::remove(path);
}

// A log read back: either header, RFC 4180 fields over several lines, a torn last line left
// out with a warning, and an id derived from the line for records written without one.
TEST(StationLogTest, ReadBack) {
    BoardRecord a;
    a.time = "2026-12-07T14:05:03Z";
    a.port = "COM1";
    a.result = "Successful, verified";
    a.code = "succeeded";
    a.verified = true;
    a.seconds = 4.5;
    a.bytes = 4096;
    a.id = "00ff";
    a.station = "s1";
    a.serial = "17";
    a.serialState = "used";
    a.note = "two\r\nlines, \"quoted\"";
    BoardRecord b = a;
    b.port = "COM2";
    b.id = "01ee";
    const std::string lineA = csvLine(a);
    std::string older = olderCsvHeader() + "t,COM3,,f,,,,r,failed,no,1.0,0\r\n";
    const std::string olderId = image::sha256Hex("t,COM3,,f,,,,r,failed,no,1.0,0").substr(0, 32);
    struct Case {
        const char* name;
        std::string text;
        std::string records;  // each record's port:id:serial:note, a space after each
        std::string warning;  // in the one warning expected; empty for none
        std::string failure;
    };
    const std::vector<Case> cases{
        {"empty", "", "", "", ""},
        {"two records", csvHeader() + lineA + csvLine(b),
         "COM1:00ff:17:two\r\nlines, \"quoted\" COM2:01ee:17:two\r\nlines, \"quoted\" ", "", ""},
        {"torn, no line end", csvHeader() + lineA + csvLine(b).substr(0, 40),
         "COM1:00ff:17:two\r\nlines, \"quoted\" ", "line 4 has no line end", ""},
        {"torn inside quotes", csvHeader() + lineA.substr(0, lineA.size() - 8), "",
         "line 2 has no line end", ""},
        {"too few fields", csvHeader() + "a,b\r\n", "", "line 2 has 2 fields, not 17", ""},
        {"not a number", csvHeader() + "t,p,d,f,s,m,v,r,c,yes,x,0,i,s,,,\r\n", "",
         "line 2 has a verified, seconds or bytes column", ""},
        {"older, LF only", older.replace(older.find("\r\n"), 2, "\n"),
         "COM3:" + olderId + ":: ", "", ""},
        {"older", older, "COM3:" + olderId + ":: ", "", ""},
        {"another file", "name,score\r\n", "", "", "log.csv: its first line is not the header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadLog read = readStationLog(c.text, "log.csv");
        std::string records;
        for (const BoardRecord& r : read.records) {
            records += r.port + ":" + r.id + ":" + r.serial + ":" + r.note + " ";
        }
        EXPECT_EQ(records, c.records);
        ASSERT_EQ(read.warnings.size(), c.warning.empty() ? 0u : 1u);
        if (!c.warning.empty()) {
            EXPECT_NE(read.warnings[0].find(c.warning), std::string::npos) << read.warnings[0];
        }
        EXPECT_EQ(read.failure.substr(0, c.failure.size()), c.failure);
    }
    const ReadLog read = readStationLog(csvHeader() + lineA, "log.csv");
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(csvLine(read.records[0]), lineA) << "every field read back as written";
}

#ifndef _WIN32
// A write that fails midway (the file-size limit) leaves every earlier record whole and says
// why; a log opened again keeps its header once.
TEST(StationLogTest, AFailedWriteKeepsEarlierRecordsIntact) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("comflash-station-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    BoardRecord record;
    record.port = "COM1";
    record.result = "Successful";
    record.code = "succeeded";
    const std::string line = csvLine(record);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{csvHeader().size() + line.size() + line.size() / 2, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        StationLog log;
        const bool opened = log.open(path.string()).empty();
        const bool first = log.append(record).empty();
        const std::string second = log.append(record);
        _exit(opened && first && second.find("File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto contents = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(contents(), csvHeader() + line) << "the half record is cut off";
    {
        StationLog again;
        EXPECT_EQ(again.open(path.string()), "");
        EXPECT_EQ(again.append(record), "");
    }
    EXPECT_EQ(contents(), csvHeader() + line + line);
    std::filesystem::remove(path);
}

// Stations that start on one new log at the same moment make one header between them, and
// every record whole on a line of its own.
TEST(StationLogTest, StationsStartingTogetherShareOneHeader) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("comflash-station-shared-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    constexpr int kStations = 8;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kStations; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            char byte = 0;
            const bool started = ::read(go[0], &byte, 1) == 1;
            StationLog log;
            BoardRecord record;
            record.port = "COM" + std::to_string(i + 1);
            record.code = "succeeded";
            _exit(started && log.open(path.string()).empty() && log.append(record).empty() ? 0 : 1);
        }
        children.push_back(child);
    }
    ASSERT_EQ(::write(go[1], std::string(kStations, 'g').data(), kStations), kStations);
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ::close(go[0]);
    ::close(go[1]);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kStations + 1));
    EXPECT_EQ(lines[0] + "\n", csvHeader());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(",COM", 0), 0u) << lines[i];
    }
    std::filesystem::remove(path);
}

#endif

}  // namespace
}  // namespace comflash::cli
