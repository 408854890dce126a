// comflash-sim driven over its pseudo-terminal by a scripted host.
#include <signal.h>
#include <stdlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim_process.h"

namespace comflash::e2e {
namespace {

using ::testing::HasSubstr;

const Bytes kAck{0x79};

Bytes withXor(Bytes bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum ^= byte;
    bytes.push_back(sum);
    return bytes;
}

Bytes handshake(std::uint8_t major, std::uint8_t minor) {
    return withXor({0x55, 0x82, 0x10, 0x20, 0x30, major, minor});
}

Bytes addressed(std::uint8_t code, unsigned address) {
    return {0x55, code, 0x00, static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address & 0xFF)};
}

class PtySessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "comflash-e2e.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string file(const char* name) const { return (folder_ / name).string(); }

    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::filesystem::path folder_;
};

// Writes 0x9010..0x9150 as the tool does (erase unit by unit just ahead of the writes), reads
// the read window (0x8000 up, requested as 0 up) back in a read session, and checks the dump
// and the log.
TEST_F(PtySessionTest, WritesAnImageAndReadsItBack) {
    std::ofstream(file("memory.hex")) << ":01804000AA95\n:00000001FF\n";
    SimProcess sim({"--model", "16:32:0x30", "--baud", "9600", "--memory", file("memory.hex"),
                    "--dump", file("dump.bin"), "--log", file("log.txt"), "--sessions", "2"});
    ASSERT_FALSE(sim.path().empty());

    std::vector<std::uint8_t> expected(0x10000, 0xFF);
    expected[0x8040] = 0xAA;
    {
        ScriptedHost probe(sim.path(), B9600);  // a port probe: opened and closed, nothing sent
    }
    {
        ScriptedHost host(sim.path(), B19200);
        // The device answers handshakes only at 9600: at 19200 just the echo comes back, and
        // had the device answered, its reply would come before the next echo.
        host.write(handshake(1, 2));
        EXPECT_EQ(host.read(8), handshake(1, 2));
        host.setRate(B9600);
        EXPECT_EQ(host.exchange(handshake(1, 2), 10),
                  (Bytes{0x79, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x10, 0x20, 0x30}));
        host.setRate(B19200);
        unsigned next = 0x9010;
        const unsigned end = 0x9150;
        while (next <= end) {
            EXPECT_EQ(host.exchange(addressed(0x01, next & ~0x7Fu), 1), kAck);
            const unsigned length = std::min(0x80 - (next & 0x7F), end - next + 1);
            Bytes write = addressed(0x02, next);
            write.push_back(static_cast<std::uint8_t>(length));
            EXPECT_EQ(host.exchange(write, 1), kAck);
            Bytes data;
            for (unsigned i = 0; i < length; ++i) {
                data.push_back(static_cast<std::uint8_t>((next + i) * 7));
                expected[next + i] = data.back();
            }
            EXPECT_EQ(host.exchange(withXor(data), 1), kAck);
            next += length;
        }
        EXPECT_EQ(host.exchange(addressed(0x03, 0x9010), 1), kAck);
    }
    {
        ScriptedHost host(sim.path(), B9600);
        EXPECT_EQ(host.exchange(handshake(0xFF, 0xFF), 10).at(0), 0x79);
        host.setRate(B19200);
        for (unsigned address = 0; address < 0x8000; address += 0x80) {
            Bytes read = addressed(0x81, address);
            read.insert(read.end(), {0x80, 0x52});
            const Bytes block = host.exchange(read, 129);
            ASSERT_EQ(block.size(), 129u);
            const auto from = expected.begin() + 0x8000 + address;
            const Bytes want(from, from + 0x80);
            EXPECT_EQ(block, withXor(want)) << "block at " << address;
        }
        EXPECT_EQ(host.exchange(addressed(0x03, 0x9000), 1), kAck);
    }
    EXPECT_EQ(sim.wait(), 0);

    const std::string dump = contents(file("dump.bin"));
    EXPECT_TRUE(dump == std::string(expected.begin(), expected.end())) << "the dump differs";
    const std::string log = contents(file("log.txt"));
    EXPECT_THAT(log, HasSubstr("garbled at 19200 baud: 55 82 10 20 30 01 02 D4"));
    EXPECT_THAT(log, HasSubstr("rx #1 handshake 55 82 10 20 30 01 02 D4"));
    EXPECT_THAT(log, HasSubstr("tx #1 79 55 01 00 01 02 00 10 20 30"));
    EXPECT_THAT(log, HasSubstr("rx #2 erase 55 01 00 90 00"));
    EXPECT_THAT(log, HasSubstr("session ended: go to 0x9010"));
    // 11 frames for the update, then a handshake, 256 read requests and the go frame.
    EXPECT_THAT(log, HasSubstr("rx #12 handshake 55 82 10 20 30 FF FF D7"));
    EXPECT_THAT(log, HasSubstr("rx #269 go 55 03 00 90 00"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("!!")));
}

TEST_F(PtySessionTest, AViolationMakesTheExitStatusOneAndSigtermStillDumps) {
    SimProcess sim({"--dump", file("dump.bin"), "--log", file("log.txt")});
    ASSERT_FALSE(sim.path().empty());
    {
        ScriptedHost host(sim.path(), B19200);
        EXPECT_EQ(host.exchange(withXor({0x55, 0x82, 0x01, 0x02, 0x03, 0x01, 0x00}), 10).at(0),
                  0x79);
        // A write into a unit that was never erased.
        EXPECT_EQ(host.exchange({0x55, 0x02, 0x00, 0x20, 0x00, 0x02}, 1), kAck);
        EXPECT_EQ(host.exchange(withXor({0x12, 0x34}), 1), kAck);
    }
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(), 1);
    const std::string dump = contents(file("dump.bin"));
    ASSERT_EQ(dump.size(), 0x10000u);
    EXPECT_EQ(dump.substr(0x2000, 3), std::string("\x12\x34\xFF"));
    EXPECT_THAT(contents(file("log.txt")), HasSubstr("!! #2 write of 2 bytes at 0x2000"));
}

// The erase's acknowledgement is held back; the host resends the erase before it comes, and
// the device refuses the resend. The resend's echo does not wait for the late reply.
TEST_F(PtySessionTest, ALateReplyComesAfterTheEchoOfALaterWrite) {
    SimProcess sim({"--fault", "delay:2:500", "--fault", "nak:3"});
    ASSERT_FALSE(sim.path().empty());
    {
        ScriptedHost host(sim.path(), B19200);
        EXPECT_EQ(host.exchange(handshake(1, 2), 10).at(0), 0x79);
        const Bytes erase = addressed(0x01, 0x2000);
        host.write(erase);
        EXPECT_EQ(host.read(erase.size()), erase);
        host.write(erase);
        Bytes expected = erase;
        expected.insert(expected.end(), {0x79, 0x1F});
        EXPECT_EQ(host.read(expected.size()), expected);
    }
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(), 0);
}

// A host that writes a frame and closes the line at once: the frame reaches the device before
// the close ends the session, round after round.
TEST_F(PtySessionTest, BytesWrittenJustBeforeACloseComeBeforeIt) {
    SimProcess sim({"--log", file("log.txt")});
    ASSERT_FALSE(sim.path().empty());
    constexpr int kRounds = 30;
    for (int round = 1; round <= kRounds; ++round) {
        {
            ScriptedHost host(sim.path(), B19200);
            ASSERT_EQ(host.exchange(handshake(1, 2), 10).at(0), 0x79);
            host.write(addressed(0x01, 0x2000));
        }  // closed right after the erase frame
        // The next host opens only once this close has been seen: which opening bytes belong
        // to is not in question here, only their order against the close.
        const auto closed = [&] {
            const std::string log = contents(file("log.txt"));
            int count = 0;
            for (auto at = log.find("-- line closed"); at != std::string::npos;
                 at = log.find("-- line closed", at + 1)) {
                ++count;
            }
            return count >= round;
        };
        const auto giveUp = std::chrono::steady_clock::now() + kPatience;
        while (!closed() && std::chrono::steady_clock::now() < giveUp) usleep(1000);
        ASSERT_TRUE(closed()) << "round " << round;
    }
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(), 0) << "an erase came after its session had ended";
    const std::string log = contents(file("log.txt"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("!!")));
    std::istringstream lines(log);
    int erases = 0;
    bool closed = true;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" handshake ") != std::string::npos) closed = false;
        if (line.find(" erase 55 01 00 20 00") != std::string::npos) {
            EXPECT_FALSE(closed) << line;
            ++erases;
        }
        if (line.find("-- line closed") != std::string::npos) closed = true;
    }
    EXPECT_EQ(erases, kRounds);
}

// A fixture of two boards, the second with a stuck byte: the host finds each board with
// handshakes, flashes it and waits until it has been taken out; the simulator ends by itself
// after the last board and dumps each board's memory.
TEST_F(PtySessionTest, AFixtureServesItsBoardsOneAfterAnother) {
    namespace fs = std::filesystem;
    using namespace std::chrono_literals;
    for (const bool unplug : {false, true}) {
        SCOPED_TRACE(unplug ? "the line goes with the board" : "the line stays");
        std::vector<std::string> args{"--boards",      "2",
                                      "--board-gap",   "300",
                                      "--board-fault", "2:stuck:0x9001:0x00",
                                      "--dump",        file("dump%d.bin"),
                                      "--log",         file("log.txt")};
        if (unplug) args.emplace_back("--board-unplug");
        SimProcess sim(args);
        ASSERT_FALSE(sim.path().empty());
        const std::string& path = sim.path();
        // One handshake on a fresh opening of the line: did a board answer?
        const auto answered = [&] {
            ScriptedHost host(path, B19200);
            host.write(handshake(1, 2));
            return host.read(18, 300ms).size() == 18;
        };
        const auto giveUp = std::chrono::steady_clock::now() + kPatience;
        const auto patient = [&] { return std::chrono::steady_clock::now() < giveUp; };
        for (std::uint8_t board = 1; board <= 2; ++board) {
            bool found = false;
            while (!found && patient()) {
                if (fs::exists(path)) {
                    found = answered();
                } else {
                    usleep(20'000);  // no line: no board
                }
            }
            ASSERT_TRUE(found) << "board " << int{board};
            {
                ScriptedHost host(path, B19200);
                EXPECT_EQ(host.exchange(handshake(1, 2), 10).at(0), 0x79);
                EXPECT_EQ(host.exchange(addressed(0x01, 0x9000), 1), kAck);
                Bytes write = addressed(0x02, 0x9000);
                write.push_back(2);
                EXPECT_EQ(host.exchange(write, 1), kAck);
                EXPECT_EQ(host.exchange(withXor({board, 0x5A}), 1), kAck);
                EXPECT_EQ(host.exchange(addressed(0x03, 0x9000), 1), kAck);
            }
            if (board == 2) break;  // the simulator ends once it is taken out
            // Until it is taken out, the flashed board answers handshakes.
            bool gone = false;
            while (!gone && patient()) gone = unplug ? !fs::exists(path) : !answered();
            EXPECT_TRUE(gone);
        }
        EXPECT_EQ(sim.wait(), 0) << contents(file("log.txt"));
        for (const auto& [dump, expected] :
             {std::pair{"dump1.bin", std::string("\x01\x5A\xFF")},
              std::pair{"dump2.bin", std::string("\x02\x00\xFF", 3)}}) {
            const std::string memory = contents(file(dump));
            ASSERT_EQ(memory.size(), 0x10000u) << dump;
            EXPECT_EQ(memory.substr(0x9000, 3), expected) << dump;
        }
        const std::string log = contents(file("log.txt"));
        EXPECT_THAT(log, HasSubstr("-- stuck byte at 0x9001 keeps 00, written 5A"));
        EXPECT_THAT(log, ::testing::Not(HasSubstr("!!")));
        EXPECT_FALSE(fs::exists(file("dump3.bin")));
    }
}

TEST_F(PtySessionTest, AfterAHangupTheSamePathOpensAgain) {
    SimProcess sim({"--fault", "hangup:2"});
    ASSERT_FALSE(sim.path().empty());
    {
        ScriptedHost host(sim.path(), B19200);
        EXPECT_EQ(host.exchange(handshake(1, 2), 10).at(0), 0x79);
        host.write(addressed(0x01, 0x2000));
        host.read(6);
        EXPECT_TRUE(host.hungUp());
    }
    {
        ScriptedHost host(sim.path(), B19200);
        EXPECT_EQ(host.exchange(handshake(1, 2), 10).at(0), 0x79);
    }
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(), 0);
}

}  // namespace
}  // namespace comflash::e2e
