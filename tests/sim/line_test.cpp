// The device against faults, line rates and line timing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/device.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace comflash::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

const Bytes kHandshake{0x55, 0x82, 0x01, 0x02, 0x03, 0x01, 0x02, 0xD4};
const Bytes kHandshakeReply{0x79, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01, 0x02, 0x03};
const Bytes kErase{0x55, 0x01, 0x00, 0x20, 0x00};
const Bytes kGo{0x55, 0x03, 0x00, 0x20, 0x00};

Bytes replyOf(const std::vector<Emission>& out) {
    Bytes reply;
    for (std::size_t i = 1; i < out.size(); ++i) {
        reply.insert(reply.end(), out[i].bytes.begin(), out[i].bytes.end());
    }
    return reply;
}

DeviceOptions withFault(const char* faultText) {
    DeviceOptions options;
    EXPECT_EQ(options.faults.add(faultText), std::nullopt);
    return options;
}

// A device on a line already at 19200 baud, the rate of a session after the speed-up.
std::unique_ptr<Device> fastDevice(const DeviceOptions& options) {
    auto device = std::make_unique<Device>(options);
    device->setLineRate(19200);
    return device;
}

TEST(DeviceFaultTest, AltersTheReplyOfTheChosenFrame) {
    struct Case {
        const char* fault;
        Bytes frame;  // frame 1 is the handshake, frame 2 an erase
        Bytes reply;
        bool carriedOut;  // the erase took effect
    };
    const Case cases[] = {
        {"drop:1", kHandshake, {}, false},
        {"nak:1", kHandshake, {0x1F, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01, 0x02, 0x03}, false},
        {"corrupt:1",
         kHandshake,
         {0x86, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01, 0x02, 0x03},
         true},
        {"garbage:1",
         kHandshake,
         {0x00, 0xE5, 0xFF, 0x79, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01, 0x02, 0x03},
         true},
        {"partial:1", kHandshake, {0x79, 0x55, 0x01, 0x00, 0x01}, true},
        {"model:1", kHandshake, {0x79, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0xFE, 0xFD, 0xFC}, true},
        {"delay:1:2500", kHandshake, kHandshakeReply, true},
        {"drop:2", kErase, {}, false},
        {"nak:2", kErase, {0x1F}, false},
        {"corrupt:2", kErase, {0x86}, true},
        {"garbage:2", kErase, {0x00, 0xE5, 0xFF, 0x79}, true},
        {"partial:2", kErase, {}, true},
        {"model:2", kErase, {0x79}, true},
    };
    for (const Case& c : cases) {
        DeviceOptions options = withFault(c.fault);
        options.memory.fill(0x00);
        const auto device = fastDevice(options);
        auto out = device->receive(kHandshake, 0s);
        if (c.frame == kErase) out = device->receive(kErase, 1s);
        EXPECT_EQ(replyOf(out), c.reply) << c.fault;
        const bool erased = device->memory()[0x2000] == 0xFF;
        const bool inSession = device->inSession();
        EXPECT_EQ(c.frame == kErase ? erased : inSession, c.carriedOut) << c.fault;
        EXPECT_THAT(device->violations(), IsEmpty()) << c.fault;
        EXPECT_THAT(device->transcript().back(), HasSubstr("fault")) << c.fault;
    }
}

// Whatever fault the offending frame gets, its violation is recorded; the fault still decides
// the reply.
TEST(DeviceFaultTest, AFaultNeverHidesAViolation) {
    struct Case {
        const char* name;
        std::vector<Bytes> writes;  // the last one breaks the protocol
        const char* expected;
    };
    const Bytes write4{0x55, 0x02, 0x00, 0x20, 0x00, 0x04};
    const Case cases[] = {
        {"frame before the handshake", {kErase}, "erase frame before the handshake"},
        {"handshake checksum",
         {{0x55, 0x82, 0x01, 0x02, 0x03, 0x01, 0x02, 0xD5}},
         "handshake checksum D5, expected D4"},
        {"malformed frame", {kHandshake, {0x55, 0x01, 0x00, 0x20, 0x10}}, "not the base"},
        {"write into a unit not erased", {kHandshake, write4}, "not erased in this session"},
        {"data block checksum",
         {kHandshake, kErase, write4, {1, 2, 3, 4, 0}},
         "data block for 0x2000: checksum 00, expected 04"},
    };
    for (const std::string_view kind :
         {"drop", "nak", "corrupt", "garbage", "partial", "model", "delay", "hangup"}) {
        for (const Case& c : cases) {
            const std::string frame = std::to_string(c.writes.size());
            const std::string fault =
                std::string(kind) + ":" + frame + (kind == "delay" ? ":700" : "");
            const auto device = fastDevice(withFault(fault.c_str()));
            std::vector<Emission> last;
            Micros now{0};
            for (const Bytes& bytes : c.writes) {
                last = device->receive(bytes, now);
                now += 100ms;  // a data block follows its acknowledgement within 0.5 s
            }
            const std::string what = std::string(c.name) + " with " + fault;
            EXPECT_THAT(device->violations(), ElementsAre(HasSubstr(c.expected))) << what;
            ASSERT_FALSE(last.empty()) << what;
            EXPECT_EQ(last.front().hangup, kind == "hangup") << what;
            if (kind == "drop" || kind == "hangup") {
                EXPECT_THAT(replyOf(last), IsEmpty()) << what;
            }
            if (kind == "nak") {
                EXPECT_EQ(replyOf(last).at(0), 0x1F) << what;
            }
        }
    }
}

TEST(DeviceFaultTest, DelayHoldsTheReplyBackAndLaterRepliesQueueBehindIt) {
    const auto device = fastDevice(withFault("delay:2:2500"));
    device->receive(kHandshake, 0s);
    const auto late = device->receive(kErase, 1s);
    ASSERT_EQ(late.size(), 2u);
    EXPECT_EQ(late[0].due, 1s);
    EXPECT_EQ(late[1].due, 3500ms);
    // The host gave up waiting and resends: its echo comes back at once, its reply only after
    // the late one.
    const auto resent = device->receive(kErase, 2s);
    ASSERT_EQ(resent.size(), 2u);
    EXPECT_EQ(resent[0].due, 2s);
    EXPECT_EQ(resent[1].due, 3500ms);
    EXPECT_EQ(resent[1].bytes, Bytes{0x79});
}

// Delays of a day each, frame after frame, near the end of the clock's range: every reply is
// due no earlier than its frame and no earlier than the reply before it, held at the last time
// the clock can name instead of wrapping round to a negative one.
TEST(DeviceFaultTest, DueTimesStopAtTheEndOfTheClocksRange) {
    for (const bool lineTiming : {false, true}) {
        DeviceOptions options = withFault("delay:1-1000:86400000");
        options.lineTiming = lineTiming;
        const auto device = fastDevice(options);
        Micros now = Micros::max() - 1000 * Micros(24h) / 2;
        Micros previous{0};
        for (int frame = 1; frame <= 1000; ++frame) {
            const auto out = device->receive(frame == 1 ? kHandshake : kErase, now);
            ASSERT_EQ(out.size(), 2u) << frame;
            EXPECT_GE(out[0].due, now) << frame;
            EXPECT_GE(out[1].due, std::max(now, previous)) << frame;
            previous = out[1].due;
            now += 1s;
        }
        EXPECT_EQ(previous, Micros::max()) << "line timing " << lineTiming;
        EXPECT_THAT(device->violations(), IsEmpty());
    }
}

// What the host receives: every emission in due-time order, those due together in the order
// the device gave them.
Bytes atTheHost(std::vector<Emission> emissions) {
    std::stable_sort(emissions.begin(), emissions.end(),
                     [](const Emission& a, const Emission& b) { return a.due < b.due; });
    Bytes bytes;
    for (const Emission& emission : emissions) {
        bytes.insert(bytes.end(), emission.bytes.begin(), emission.bytes.end());
    }
    return bytes;
}

TEST(DeviceFaultTest, ALateReplyReachesTheHostAfterTheEchoOfTheResend) {
    for (const bool lineTiming : {false, true}) {
        DeviceOptions options = withFault("delay:2:2500");
        ASSERT_EQ(options.faults.add("nak:3"), std::nullopt);
        options.lineTiming = lineTiming;
        const auto device = fastDevice(options);
        std::vector<Emission> all;
        for (const auto& [frame, at] :
             {std::pair{kHandshake, 0s}, std::pair{kErase, 1s}, std::pair{kErase, 2s}}) {
            auto out = device->receive(frame, at);
            all.insert(all.end(), out.begin(), out.end());
        }
        // The host waits for the resend's echo and one byte: it takes the first erase's late
        // ACK as the resend's answer, and the resend's own NAK follows as a stray byte.
        Bytes expected = kHandshake;
        expected.insert(expected.end(), kHandshakeReply.begin(), kHandshakeReply.end());
        expected.insert(expected.end(), kErase.begin(), kErase.end());
        expected.insert(expected.end(), kErase.begin(), kErase.end());
        expected.insert(expected.end(), {0x79, 0x1F});
        EXPECT_EQ(atTheHost(all), expected) << "line timing " << lineTiming;
        EXPECT_THAT(device->violations(), IsEmpty());
    }
}

TEST(DeviceFaultTest, AWriteCommandResentWhileItsReplyIsLateIsNoDataBlock) {
    const auto device = fastDevice(withFault("delay:3:2500"));
    const Bytes write{0x55, 0x02, 0x00, 0x20, 0x00, 0x05};  // as long as its own data block
    device->receive(kHandshake, 0s);
    device->receive(kErase, 0s);
    EXPECT_EQ(device->receive(write, 0s).back().due, 2500ms);
    // The host's time-out comes first: it resends, and both acknowledgements arrive together.
    const auto resent = device->receive(write, 1s);
    EXPECT_EQ(replyOf(resent), Bytes{0x79});
    EXPECT_EQ(resent.front().due, 1s);
    EXPECT_EQ(resent.back().due, 2500ms);
    EXPECT_EQ(replyOf(device->receive(Bytes{1, 2, 3, 4, 5, 1}, 2500ms)), Bytes{0x79});
    EXPECT_EQ(device->memory()[0x2004], 5);
    EXPECT_THAT(device->violations(), IsEmpty());
}

TEST(DeviceFaultTest, RandomFaultsRefuseOtherFramesButNeverAHandshake) {
    int refusedErases = 0;
    for (std::uint64_t seed = 0; seed < 64; ++seed) {
        DeviceOptions options = withFault("random:1");
        options.faults.setSeed(seed);
        const auto device = fastDevice(options);
        const Bytes handshakeReply = replyOf(device->receive(kHandshake, 0s));
        EXPECT_TRUE(handshakeReply.empty() || handshakeReply.front() != 0x1F) << "seed " << seed;
        const Bytes eraseReply = replyOf(device->receive(kErase, 1s));
        if (eraseReply == Bytes{0x1F}) ++refusedErases;
    }
    EXPECT_GT(refusedErases, 0);
}

TEST(DeviceFaultTest, HangupEndsTheLineAfterTheEchoAndResetsTheSession) {
    const auto device = fastDevice(withFault("hangup:2"));
    device->receive(kHandshake, 0s);
    const auto out = device->receive(kErase, 1s);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, kErase);
    EXPECT_TRUE(out[0].hangup);
    EXPECT_FALSE(device->inSession());
    EXPECT_EQ(replyOf(device->receive(kHandshake, 2s)), kHandshakeReply);
}

TEST(DeviceFaultTest, ARefusedOrLostDataBlockDoesNotLand) {
    for (const char* faultText : {"nak:4", "drop:4"}) {
        const auto device = fastDevice(withFault(faultText));
        device->receive(kHandshake, 0s);
        device->receive(kErase, 1s);
        device->receive(Bytes{0x55, 0x02, 0x00, 0x20, 0x00, 0x01}, 2s);
        device->receive(Bytes{0x42, 0x42}, 2s);
        EXPECT_EQ(device->memory()[0x2000], 0xFF) << faultText;
        // The host resends the write command and the block.
        device->receive(Bytes{0x55, 0x02, 0x00, 0x20, 0x00, 0x01}, 4s);
        EXPECT_EQ(replyOf(device->receive(Bytes{0x42, 0x42}, 4s)), Bytes{0x79}) << faultText;
        EXPECT_EQ(device->memory()[0x2000], 0x42) << faultText;
        EXPECT_THAT(device->violations(), IsEmpty()) << faultText;
    }
}

// A stuck byte takes every write with an acknowledgement and still holds its value, from the
// start and through erases: the dump and a read-back show it, the replies do not.
TEST(DeviceFaultTest, AStuckByteKeepsItsValueThroughErasesAndWrites) {
    struct Case {
        const char* fault;
        std::size_t address;
        std::uint8_t value;  // in memory after the write of 2A 2B at 0xA000
        bool noted;          // the log tells of a write the cell ignored
    };
    const Case cases[] = {
        {"stuck:0xA001:0x00", 0xA001, 0x00, true},
        {"stuck:40960:0x2A", 0xA000, 0x2A, false},   // written what it holds: nothing to note
        {"stuck:0xA002:7", 0xA002, 0x07, false},     // erased, not written: still 07
        {"stuck:0x1234:0x55", 0xA001, 0x2B, false},  // elsewhere: the write lands
    };
    for (const Case& c : cases) {
        const auto device = fastDevice(withFault(c.fault));
        EXPECT_EQ(replyOf(device->receive(kHandshake, 0s)), kHandshakeReply);
        EXPECT_EQ(replyOf(device->receive(Bytes{0x55, 0x01, 0x00, 0xA0, 0x00}, 1s)), Bytes{0x79});
        EXPECT_EQ(replyOf(device->receive(Bytes{0x55, 0x02, 0x00, 0xA0, 0x00, 0x02}, 2s)),
                  Bytes{0x79});
        EXPECT_EQ(replyOf(device->receive(Bytes{0x2A, 0x2B, 0x01}, 2s)), Bytes{0x79}) << c.fault;
        EXPECT_EQ(device->memory()[c.address], c.value) << c.fault;
        // Read back through the window: 0xA000 is requested as 0x2000.
        const Bytes block =
            replyOf(device->receive(Bytes{0x55, 0x81, 0x00, 0x20, 0x00, 0x80, 0x52}, 3s));
        ASSERT_EQ(block.size(), 129u) << c.fault;
        EXPECT_EQ(block[c.address - 0xA000], c.value) << c.fault;
        const bool noted = std::ranges::any_of(device->transcript(), [](const std::string& line) {
            return line.find("stuck byte at 0xA001 keeps 00, written 2B") != std::string::npos;
        });
        EXPECT_EQ(noted, c.noted) << c.fault;
        EXPECT_THAT(device->violations(), IsEmpty()) << c.fault;
    }
    EXPECT_EQ(fastDevice(withFault("stuck:0x1234:0x55"))->memory()[0x1234], 0x55)
        << "a stuck byte holds its value from the start";
}

TEST(DeviceRateTest, AnswersAHandshakeOnlyAtTheRatesItListensAt) {
    struct Case {
        HandshakeRate gate;
        int rate;
        bool answered;
    };
    const Case cases[] = {
        {HandshakeRate::Any, 9600, true},        {HandshakeRate::Any, 19200, true},
        {HandshakeRate::Any, 115200, true},      {HandshakeRate::Only9600, 9600, true},
        {HandshakeRate::Only9600, 19200, false}, {HandshakeRate::Only19200, 19200, true},
        {HandshakeRate::Only19200, 9600, false},
    };
    for (const Case& c : cases) {
        DeviceOptions options;
        options.handshakeRate = c.gate;
        Device device(options);
        device.setLineRate(c.rate);
        const auto out = device.receive(kHandshake, 0s);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out[0].bytes, kHandshake) << "the echo comes back in any case";
        EXPECT_EQ(replyOf(out), c.answered ? kHandshakeReply : Bytes{}) << c.rate;
        EXPECT_EQ(device.frames(), c.answered ? 1 : 0);
        EXPECT_THAT(device.violations(), IsEmpty());
    }
}

TEST(DeviceRateTest, AfterTheSpeedUpOnly19200IsRead) {
    DeviceOptions options;
    options.handshakeRate = HandshakeRate::Only9600;
    Device device(options);
    device.setLineRate(9600);
    EXPECT_EQ(replyOf(device.receive(kHandshake, 0s)), kHandshakeReply);
    EXPECT_EQ(device.listeningRate(), 19200);
    EXPECT_THAT(replyOf(device.receive(kErase, 1s)), IsEmpty());  // still at 9600: garbled
    device.setLineRate(19200);
    EXPECT_EQ(replyOf(device.receive(kErase, 2s)), Bytes{0x79});
    // A handshake resent at the session rate starts the session again.
    EXPECT_EQ(replyOf(device.receive(kHandshake, 3s)), kHandshakeReply);
    EXPECT_EQ(replyOf(device.receive(kGo, 4s)), Bytes{0x79});
    // The application runs; the next session starts at 9600 again.
    EXPECT_THAT(replyOf(device.receive(kHandshake, 5s)), IsEmpty());
    device.setLineRate(9600);
    EXPECT_EQ(replyOf(device.receive(kHandshake, 6s)), kHandshakeReply);
    EXPECT_THAT(device.violations(), IsEmpty());
}

TEST(DeviceRateTest, WithoutSpeedUpTheSessionStaysAtTheHandshakeRate) {
    DeviceOptions options;
    options.speedUp = false;
    Device device(options);
    device.setLineRate(9600);
    Bytes reply = kHandshakeReply;
    reply[1] = 0x00;
    EXPECT_EQ(replyOf(device.receive(kHandshake, 0s)), reply);
    EXPECT_EQ(replyOf(device.receive(kErase, 1s)), Bytes{0x79});
    device.setLineRate(19200);
    EXPECT_THAT(replyOf(device.receive(kErase, 2s)), IsEmpty());
}

TEST(DeviceTimingTest, BytesTakeTenBitTimesEachAtTheLineRate) {
    DeviceOptions options;
    options.lineTiming = true;
    Device device(options);
    device.setLineRate(9600);
    const auto out = device.receive(kHandshake, 1s);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].due, 1s + 8334us);            // 8 bytes at 9600 baud, rounded up
    EXPECT_EQ(out[1].due, 1s + 8334us + 10417us);  // then the 10-byte reply
    device.setLineRate(19200);
    const auto erase = device.receive(kErase, 2s);
    EXPECT_EQ(erase[0].due, 2s + 2605us);
    EXPECT_EQ(erase[1].due, 2s + 2605us + 521us);
    // A second write while the first is still on the line waits for it.
    const auto first = device.receive(Bytes{0x55, 0x07}, 3s);
    const auto second = device.receive(Bytes{0x00}, 3s);
    EXPECT_EQ(first[0].due, 3s + 1042us);
    EXPECT_EQ(second[0].due, 3s + 1042us + 521us);
}

}  // namespace
}  // namespace comflash::sim
