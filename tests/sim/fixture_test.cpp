// The fixture in virtual time: boards put in, flashed, taken out, one after another.
#include "sim/fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

const Bytes kHandshake{0x55, 0x82, 0x01, 0x02, 0x03, 0x01, 0x02, 0xD4};
constexpr Micros kPoll = 100ms;  // the host's handshake every 100 ms until a board answers
constexpr int kPollLimit = 1000;

// A host on the fixture's line: looks for a board with handshakes, flashes it or gives up.
struct Host {
    Fixture& fixture;
    Micros now{0};
    int unanswered = 0;  // handshakes no board answered
    int lineGone = 0;    // polls that found no line (an unplugging fixture while empty)

    Bytes write(const Bytes& bytes) {
        const auto out = fixture.receive(bytes, now);
        EXPECT_FALSE(out.empty());
        if (out.empty()) return {};
        EXPECT_EQ(out.front().bytes, bytes) << "the line echoes the host's bytes";
        Bytes reply;
        for (std::size_t i = 1; i < out.size(); ++i) {
            reply.insert(reply.end(), out[i].bytes.begin(), out[i].bytes.end());
        }
        now = out.back().due;
        return reply;
    }
    // One handshake, when there is a line; the reply, empty when nobody answered.
    Bytes poll() {
        fixture.setLineRate(19200);  // the rate of the device, before and after a handshake
        fixture.advance(now);
        Bytes reply;
        if (fixture.unplugs() && !fixture.boardIn()) {
            ++lineGone;
        } else {
            reply = write(kHandshake);
            if (reply.empty()) ++unanswered;
        }
        now += kPoll;
        return reply;
    }
    // Polls until a board answers; returns its reply.
    Bytes findBoard() {
        for (int i = 0; i < kPollLimit; ++i) {
            if (Bytes reply = poll(); !reply.empty()) return reply;
        }
        return {};
    }
    // Polls until the board is gone: nobody answers, or the line is gone.
    void waitForRemoval() {
        for (int i = 0; i < kPollLimit && !poll().empty(); ++i) {
        }
    }
    // Writes `first` and `first` + 1 at 0x9000 and starts the application.
    void flash(std::uint8_t first) {
        EXPECT_EQ(write({0x55, 0x01, 0x00, 0x90, 0x00}), Bytes{0x79});
        EXPECT_EQ(write({0x55, 0x02, 0x00, 0x90, 0x00, 0x02}), Bytes{0x79});
        const std::uint8_t second = first + 1;
        EXPECT_EQ(write({first, second, static_cast<std::uint8_t>(first ^ second)}), Bytes{0x79});
        EXPECT_EQ(write({0x55, 0x03, 0x00, 0x90, 0x00}), Bytes{0x79});
    }
};

TEST(FixtureTest, ServesBoardsOneAfterAnother) {
    struct Case {
        const char* name;
        int boards;
        Micros stay;
        bool unplug;
        const char* boardFault;   // of board 2
        std::vector<int> at9000;  // what the host writes to each board it finds, -1: it fails
        int putIn;                // boards put in by the end
    };
    const std::vector<Case> cases{
        {"three boards flashed", 3, 0s, false, nullptr, {1, 2, 3}, 3},
        {"a failed board stays while nobody takes it out", 3, 0s, false, nullptr, {1, -1}, 2},
        {"a failed board is taken out after its stay", 3, 30s, false, nullptr, {1, -1, 3}, 3},
        {"a board's own fault: a stuck byte", 3, 0s, false, "stuck:0x9000:0x00", {1, 2, 3}, 3},
        {"the line is gone while the fixture is empty", 2, 0s, true, nullptr, {1, 2}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureOptions options{c.boards, 2s, c.stay, c.unplug, {}};
        if (c.boardFault) options.faults[2].add(c.boardFault);
        Fixture fixture(DeviceOptions{}, options);
        Host host{fixture};
        for (std::size_t i = 0; i < c.at9000.size(); ++i) {
            if (i > 0) host.waitForRemoval();
            ASSERT_EQ(host.findBoard().size(), 10u) << "board " << i + 1;
            if (c.at9000[i] >= 0) host.flash(static_cast<std::uint8_t>(c.at9000[i]));
            host.now += 1s;  // the host closes the port and records the board
        }
        host.now += 1h;  // whatever is left to happen by itself happens
        fixture.advance(host.now);
        EXPECT_EQ(fixture.boardsPutIn(), c.putIn);
        EXPECT_EQ(fixture.done(), c.putIn == c.boards && c.at9000.back() >= 0);
        EXPECT_EQ(fixture.nextChange(), std::nullopt);
        for (std::size_t i = 0; i < c.at9000.size(); ++i) {
            const Memory& memory = fixture.board(static_cast<int>(i + 1))->memory();
            const bool stuck = c.boardFault && i == 1;
            EXPECT_EQ(memory[0x9000], stuck ? 0 : c.at9000[i] & 0xFF) << "board " << i + 1;
            EXPECT_EQ(memory[0x9002], 0xFF) << "each board starts erased";
        }
        // Polls every 100 ms across each 2 s gap find no board (or no line).
        EXPECT_GE(c.unplug ? host.lineGone : host.unanswered, 15);
        EXPECT_TRUE(!c.unplug || host.unanswered == 0) << "no line, no poll";
        EXPECT_EQ(fixture.violations(), std::vector<std::string>{});
    }
}

// The times of the fixture's changes, and what its log and violations say.
TEST(FixtureTest, TakesABoardOutAMomentAfterItsGoAndNamesBoardsInItsLog) {
    FixtureOptions options;
    options.boards = 2;
    options.gap = 3s;
    Fixture fixture(DeviceOptions{}, options);
    Host host{fixture};
    EXPECT_TRUE(host.write({0x55, 0x03, 0x00, 0x90, 0x00}).empty()) << "a go before a handshake";
    ASSERT_EQ(host.findBoard().size(), 10u);
    host.flash(7);
    const Micros acknowledged = host.now;
    EXPECT_EQ(fixture.nextChange(), acknowledged + Fixture::kRemovalMoment);
    // A go repeated within the moment is still the board's to acknowledge.
    host.now += Fixture::kRemovalMoment - 1us;
    EXPECT_EQ(host.write({0x55, 0x03, 0x00, 0x90, 0x00}), Bytes{0x79});
    fixture.advance(acknowledged + Fixture::kRemovalMoment);
    EXPECT_FALSE(fixture.boardIn());
    EXPECT_EQ(fixture.nextChange(), acknowledged + Fixture::kRemovalMoment + 3s);
    fixture.advance(acknowledged + Fixture::kRemovalMoment + 3s);
    EXPECT_TRUE(fixture.boardIn());
    EXPECT_EQ(fixture.sessionsEnded(), 1);

    EXPECT_EQ(fixture.violations(),
              std::vector<std::string>{"board 1: #1 go frame before the handshake"});
    std::string log;
    for (const std::string& line : fixture.transcript()) log += line + "\n";
    EXPECT_THAT(log, HasSubstr("0.000000 -- board 1 put in\n"));
    EXPECT_THAT(log, HasSubstr("rx #3 erase 55 01 00 90 00"));
    EXPECT_THAT(log, HasSubstr(" -- board 1 taken out\n"));
    EXPECT_THAT(log, HasSubstr(" -- board 2 put in\n"));
}

}  // namespace
}  // namespace comflash::sim
