#include "sim/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace comflash::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::variant<SimOptions, std::string> parse(std::vector<std::string_view> args) {
    return parseCommandLine(args);
}

TEST(CommandLineTest, DefaultsAreModel123AnyRateSpeedUpAndNoFiles) {
    const auto parsed = parse({});
    ASSERT_TRUE(std::holds_alternative<SimOptions>(parsed));
    const SimOptions& options = std::get<SimOptions>(parsed);
    EXPECT_THAT(options.device.model, ElementsAre(1, 2, 3));
    EXPECT_EQ(options.device.handshakeRate, HandshakeRate::Any);
    EXPECT_TRUE(options.device.speedUp);
    EXPECT_FALSE(options.device.lineTiming);
    EXPECT_EQ(options.sessions, 0);
    EXPECT_TRUE(options.memoryFile.empty() && options.dumpFile.empty() && options.logFile.empty());
    EXPECT_EQ(options.device.faults.faultFor(1, FrameKind::Other), std::nullopt);
}

TEST(CommandLineTest, ReadsEveryOption) {
    const auto parsed = parse(
        {"--model", "0x10:32:255",  "--baud", "9600",  "--no-speedup",  "--memory", "m.hex",
         "--dump",  "d.bin",        "--log",  "l.txt", "--line-timing", "--fault",  "drop:5-9",
         "--fault", "delay:8:2500", "--seed", "42",    "--sessions",    "3"});
    ASSERT_TRUE(std::holds_alternative<SimOptions>(parsed)) << std::get<std::string>(parsed);
    const SimOptions& options = std::get<SimOptions>(parsed);
    EXPECT_THAT(options.device.model, ElementsAre(0x10, 32, 255));
    EXPECT_EQ(options.device.handshakeRate, HandshakeRate::Only9600);
    EXPECT_FALSE(options.device.speedUp);
    EXPECT_TRUE(options.device.lineTiming);
    EXPECT_EQ(options.memoryFile, "m.hex");
    EXPECT_EQ(options.dumpFile, "d.bin");
    EXPECT_EQ(options.logFile, "l.txt");
    EXPECT_EQ(options.sessions, 3);
    EXPECT_EQ(options.device.faults.faultFor(9, FrameKind::Other)->kind, FaultKind::Drop);
    EXPECT_EQ(options.device.faults.faultFor(10, FrameKind::Other), std::nullopt);
    EXPECT_EQ(std::get<SimOptions>(parse({"--baud", "19200"})).device.handshakeRate,
              HandshakeRate::Only19200);
    EXPECT_TRUE(std::get<SimOptions>(parse({"--help"})).help);
}

TEST(CommandLineTest, TheSeedChoosesTheRandomFaultsWhereverItIsGiven) {
    auto kinds = [](std::vector<std::string_view> args) {
        const auto options = std::get<SimOptions>(parse(args));
        std::vector<int> found;
        for (int frame = 1; frame <= 200; ++frame) {
            const auto fault = options.device.faults.faultFor(frame, FrameKind::Other);
            found.push_back(fault ? static_cast<int>(fault->kind) : -1);
        }
        return found;
    };
    EXPECT_EQ(kinds({"--seed", "5", "--fault", "random:0.3"}),
              kinds({"--fault", "random:0.3", "--seed", "5"}));
    EXPECT_NE(kinds({"--seed", "5", "--fault", "random:0.3"}),
              kinds({"--seed", "6", "--fault", "random:0.3"}));
}

TEST(CommandLineTest, ReadsAFixtureAndNamesEachBoardsDump) {
    const auto parsed =
        parse({"--board-fault", "2:stuck:0x9000:0", "--boards", "3", "--board-gap", "250",
               "--board-stay", "60000", "--board-unplug", "--board-fault", "3:model:1-9"});
    ASSERT_TRUE(std::holds_alternative<SimOptions>(parsed)) << std::get<std::string>(parsed);
    const FixtureOptions& fixture = std::get<SimOptions>(parsed).fixture;
    EXPECT_EQ(fixture.boards, 3);
    EXPECT_EQ(fixture.gap, std::chrono::milliseconds(250));
    EXPECT_EQ(fixture.stay, std::chrono::milliseconds(60000));
    EXPECT_TRUE(fixture.unplug);
    ASSERT_EQ(fixture.faults.size(), 2u);
    EXPECT_EQ(fixture.faults.at(3).faultFor(9, FrameKind::Other)->kind, FaultKind::WrongModel);

    struct Case {
        const char* pattern;
        int board;
        const char* file;
    };
    for (const Case c : {Case{"dump%d.bin", 2, "dump2.bin"}, Case{"d/%d", 12, "d/12"},
                         Case{"dump.bin", 3, "dump.bin.3"}}) {
        EXPECT_EQ(dumpFileOf(c.pattern, c.board), c.file);
    }
}

TEST(CommandLineTest, NamesTheWrongArgument) {
    struct Case {
        std::vector<std::string_view> args;
        const char* problem;
    };
    const std::vector<Case> cases{
        {{"--model", "1:2"}, "--model: three bytes"},
        {{"--model", "1:2:256"}, "--model: three bytes"},
        {{"--model", "1:2:3:4"}, "--model: three bytes"},
        {{"--model", "1:x:3"}, "--model: three bytes"},
        {{"--baud", "38400"}, "--baud: any, 9600 or 19200"},
        {{"--fault", "fly:3"}, "--fault: unknown fault kind"},
        {{"--fault", "delay:1:9223372036854776"}, "--fault: a delay is at most 86400000"},
        {{"--seed", "-1"}, "--seed: a number"},
        {{"--sessions", "0"}, "--sessions: a number of at least 1"},
        {{"--dump"}, "--dump: needs a value"},
        {{"--speedup"}, "unknown option --speedup"},
        {{"--boards", "0"}, "--boards: a number of at least 1"},
        {{"--board-gap", "100"}, "need --boards"},
        {{"--board-unplug"}, "need --boards"},
        {{"--boards", "2", "--board-gap", "-1"}, "--board-gap: milliseconds from 0"},
        {{"--boards", "2", "--board-stay", "86400001"}, "--board-stay: milliseconds from 0"},
        {{"--boards", "2", "--board-fault", "3:drop:1"}, "there is no board 3 of 2"},
        {{"--boards", "2", "--board-fault", "0:drop:1"}, "--board-fault: K:SPEC expected"},
        {{"--boards", "2", "--board-fault", "drop:1"}, "--board-fault: K:SPEC expected"},
        {{"--boards", "2", "--board-fault", "1:fly:1"}, "--board-fault: unknown fault kind"},
        {{"--boards", "2", "--sessions", "2"}, "exclude each other"},
        {{"--fault", "stuck:0x8000"}, "--fault: stuck is stuck:ADDRESS:VALUE"},
    };
    for (const Case& c : cases) {
        const auto parsed = parse(c.args);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.problem;
        EXPECT_THAT(std::get<std::string>(parsed), HasSubstr(c.problem));
    }
}

}  // namespace
}  // namespace comflash::sim
