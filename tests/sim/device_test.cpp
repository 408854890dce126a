#include "sim/device.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace comflash::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

Bytes withXor(Bytes bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t byte : bytes) sum ^= byte;
    bytes.push_back(sum);
    return bytes;
}

// 112 data bytes for 0x1010..0x107F: a counting pattern, distinct from erased memory.
Bytes pattern(std::size_t length, std::uint8_t first) {
    Bytes data(length);
    std::iota(data.begin(), data.end(), first);
    return data;
}

const Bytes kHandshake{0x55, 0x82, 0x10, 0x20, 0x30, 0x01, 0x02, 0xD4};
const Bytes kReadHandshake{0x55, 0x82, 0x10, 0x20, 0x30, 0xFF, 0xFF, 0xD7};
const Bytes kAck{0x79};
const Bytes kNak{0x1F};

DeviceOptions modelOptions() {
    DeviceOptions options;
    options.model = {0x10, 0x20, 0x30};
    return options;
}

// Drives one device like a host: every write at the line's current time, which moves on to
// the due time of the last byte the device sent back.
struct Line {
    explicit Line(DeviceOptions options = modelOptions()) : device(std::move(options)) {
        device.setLineRate(19200);
    }

    // The reply bytes (everything after the echo) that the write brings.
    Bytes write(const Bytes& bytes) {
        const auto out = device.receive(bytes, now);
        EXPECT_FALSE(out.empty());
        EXPECT_EQ(out.front().bytes, bytes) << "the echo comes first, unchanged";
        Bytes reply;
        for (std::size_t i = 1; i < out.size(); ++i) {
            reply.insert(reply.end(), out[i].bytes.begin(), out[i].bytes.end());
        }
        if (!out.empty()) now = out.back().due;
        return reply;
    }

    Bytes handshake() { return write(kHandshake); }

    Device device;
    Micros now{0};
};

TEST(DeviceTest, AnswersTheHandshakeWithAckSpeedUpAndItsModel) {
    Line line;
    EXPECT_EQ(line.handshake(),
              (Bytes{0x79, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x10, 0x20, 0x30}));
    EXPECT_THAT(line.device.announcedVersion(), ::testing::Optional(ElementsAre(0x01, 0x02)));
    EXPECT_TRUE(line.device.inSession());
    EXPECT_THAT(line.device.violations(), IsEmpty());
}

// A read request for X answers the 128 bytes from 0x8000 + X: the window a saved read-back
// file's addresses describe.
TEST(DeviceTest, ReadSessionAnswersFromTheReadWindowWithItsXor) {
    struct Case {
        std::uint16_t request;
        std::size_t memoryAt;
    };
    for (const Case c : {Case{0x0000, 0x8000}, Case{0x1000, 0x9000}, Case{0x7F80, 0xFF80}}) {
        DeviceOptions options = modelOptions();
        for (std::size_t i = 0; i < kMemorySize; ++i) {
            options.memory[i] = static_cast<std::uint8_t>(i * 3 + i / 256);
        }
        Line line(options);
        EXPECT_EQ(line.write(kReadHandshake),
                  (Bytes{0x79, 0x55, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x10, 0x20, 0x30}));
        Bytes expected(options.memory.begin() + static_cast<std::ptrdiff_t>(c.memoryAt),
                       options.memory.begin() + static_cast<std::ptrdiff_t>(c.memoryAt) + 128);
        expected = withXor(expected);
        const auto high = static_cast<std::uint8_t>(c.request >> 8);
        const auto low = static_cast<std::uint8_t>(c.request & 0xFF);
        EXPECT_EQ(line.write({0x55, 0x81, 0x00, high, low, 0x80, 0x52}), expected) << c.request;
        EXPECT_EQ(line.write({0x55, 0x03, 0x00, 0x90, 0x00}), kAck);
        EXPECT_EQ(line.device.lastGoAddress(), 0x9000);
        EXPECT_EQ(line.device.sessionsEnded(), 1);
        EXPECT_THAT(line.device.violations(), IsEmpty());
    }
}

// The update of 0x1010..0x1150, frame by frame, as the host sends it.
std::vector<Bytes> updateSession() {
    const Bytes first = pattern(112, 0x10);
    const Bytes second = pattern(128, 0x80);
    const Bytes third = pattern(81, 0x00);
    return {kHandshake,      {0x55, 0x01, 0x00, 0x10, 0x00}, {0x55, 0x02, 0x00, 0x10, 0x10, 0x70},
            withXor(first),  {0x55, 0x01, 0x00, 0x10, 0x80}, {0x55, 0x02, 0x00, 0x10, 0x80, 0x80},
            withXor(second), {0x55, 0x01, 0x00, 0x11, 0x00}, {0x55, 0x02, 0x00, 0x11, 0x00, 0x51},
            withXor(third),  {0x55, 0x03, 0x00, 0x10, 0x10}};
}

Memory updatedMemory() {
    Memory memory = erasedMemory();
    const Bytes first = pattern(112, 0x10);
    const Bytes second = pattern(128, 0x80);
    const Bytes third = pattern(81, 0x00);
    std::copy(first.begin(), first.end(), memory.begin() + 0x1010);
    std::copy(second.begin(), second.end(), memory.begin() + 0x1080);
    std::copy(third.begin(), third.end(), memory.begin() + 0x1100);
    return memory;
}

TEST(DeviceTest, UpdateSessionWritesTheImageAndEndsWithGo) {
    DeviceOptions options = modelOptions();
    options.memory.fill(0x00);  // erasing must set every byte of a unit to FF
    Line line(options);
    const auto frames = updateSession();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Bytes reply = line.write(frames[i]);
        if (i > 0) {
            EXPECT_EQ(reply, kAck) << "frame " << i + 1;
        }
    }
    Memory expected = updatedMemory();
    std::fill(expected.begin(), expected.begin() + 0x1000, 0x00);
    std::fill(expected.begin() + 0x1180, expected.end(), 0x00);
    EXPECT_EQ(line.device.memory(), expected);
    EXPECT_EQ(line.device.sessionsEnded(), 1);
    EXPECT_EQ(line.device.lastGoAddress(), 0x1010);
    EXPECT_EQ(line.device.frames(), 11);
    EXPECT_FALSE(line.device.inSession());
    EXPECT_THAT(line.device.violations(), IsEmpty());
}

TEST(DeviceTest, BytesFedOneAtATimeGiveTheSameResult) {
    Device whole(modelOptions());
    Device single(modelOptions());
    whole.setLineRate(19200);
    single.setLineRate(19200);
    Bytes wholeOut;
    Bytes singleOut;
    Micros now{0};
    auto frames = updateSession();
    // A write into a unit that was not erased: a violation whatever pieces it comes in.
    frames.insert(frames.begin() + 1, {{0x55, 0x02, 0x00, 0x20, 0x00, 0x02}, withXor({7, 7})});
    for (const Bytes& frame : frames) {
        for (const Emission& emission : whole.receive(frame, now)) {
            wholeOut.insert(wholeOut.end(), emission.bytes.begin(), emission.bytes.end());
        }
        for (const std::uint8_t byte : frame) {
            for (const Emission& emission : single.receive(Bytes{byte}, now)) {
                singleOut.insert(singleOut.end(), emission.bytes.begin(), emission.bytes.end());
            }
        }
        now += 1ms;
    }
    EXPECT_EQ(singleOut, wholeOut);
    EXPECT_EQ(single.memory(), whole.memory());
    EXPECT_EQ(single.violations(), whole.violations());
    EXPECT_EQ(single.frames(), whole.frames());
    EXPECT_EQ(whole.violations().size(), 1u);
}

struct ViolationCase {
    const char* name;
    std::vector<Bytes> writes;  // after an accepted handshake unless `fresh`
    const char* expected;
    bool fresh = false;
    Micros lastAfter{1000};  // time between the last write and the one before it
};

TEST(DeviceTest, RecordsEveryProtocolViolation) {
    const Bytes eraseUnit{0x55, 0x01, 0x00, 0x20, 0x00};
    const Bytes write4{0x55, 0x02, 0x00, 0x20, 0x00, 0x04};
    const std::vector<ViolationCase> cases{
        {"write into a unit not erased", {write4, withXor({1, 2, 3, 4})}, "not erased"},
        {"write reaching into a second unit",
         {{0x55, 0x01, 0x00, 0x20, 0x00},
          {0x55, 0x02, 0x00, 0x20, 0x7E, 0x04},
          withXor({1, 2, 3, 4})},
         "into the unit at 0x2080, not erased"},
        {"frame before the handshake", {eraseUnit}, "erase frame before the handshake", true},
        {"no marker", {{0x56, 0x01, 0x00}}, "bytes that make no frame: 56 01 00"},
        {"unknown code", {{0x55, 0x07, 0x00, 0x00}}, "bytes that make no frame: 55 07"},
        {"data block longer than announced",
         {eraseUnit, write4, {1, 2, 3, 4, 4, 0x99}},
         "data block longer than announced, extra bytes: 99"},
        {"data block shorter than announced",
         {eraseUnit, write4, {1, 2, 3}, write4},
         "data block cut short: 3 of 5 bytes",
         false,
         Micros{2'000'000}},
        {"frame cut short",
         {{0x55, 0x01, 0x00}, eraseUnit},
         "frame cut short: 3 of 5 bytes",
         false,
         Micros{2'000'000}},
        {"bytes after a frame", {{0x55, 0x01, 0x00, 0x20, 0x00, 0x55}}, "after a frame"},
        {"handshake checksum",
         {{0x55, 0x82, 0x10, 0x20, 0x30, 0x01, 0x02, 0xD5}},
         "handshake checksum D5, expected D4",
         true},
        {"data block checksum", {eraseUnit, write4, {1, 2, 3, 4, 0}}, "checksum 00, expected 04"},
        {"erase off a unit base", {{0x55, 0x01, 0x00, 0x20, 0x10}}, "not the base"},
        {"byte 2 not zero", {{0x55, 0x01, 0x01, 0x20, 0x00}}, "byte 2 is not 00"},
        {"write of 0 bytes", {{0x55, 0x02, 0x00, 0x20, 0x00, 0x00}}, "length out of 1 to 128"},
        {"write of 129 bytes", {{0x55, 0x02, 0x00, 0x20, 0x00, 0x81}}, "length out of 1 to 128"},
        {"write past the end", {{0x55, 0x02, 0x00, 0xFF, 0xF0, 0x20}}, "past the end"},
        {"read of 64 bytes", {{0x55, 0x81, 0x00, 0x00, 0x00, 0x40, 0x52}}, "not a request"},
        {"read past the end", {{0x55, 0x81, 0x00, 0xFF, 0xC0, 0x80, 0x52}}, "past the end"},
        {"read past the window",
         {{0x55, 0x81, 0x00, 0x7F, 0x81, 0x80, 0x52}},
         "past the end of the read window"},
    };
    for (const ViolationCase& c : cases) {
        Line line;
        if (!c.fresh) line.handshake();
        for (std::size_t i = 0; i < c.writes.size(); ++i) {
            if (i + 1 == c.writes.size()) line.now += c.lastAfter;
            line.write(c.writes[i]);
        }
        EXPECT_THAT(line.device.violations(), ::testing::Contains(HasSubstr(c.expected))) << c.name;
        EXPECT_EQ(line.device.violations().size(), 1u) << c.name;
    }
}

TEST(DeviceTest, RefusesMalformedFramesAndBadChecksums) {
    Line line;
    EXPECT_EQ(line.write({0x55, 0x82, 0x10, 0x20, 0x30, 0x01, 0x02, 0x00}),
              (Bytes{0x1F, 0x55, 0x01, 0x00, 0x01, 0x02, 0x00, 0x10, 0x20, 0x30}));
    EXPECT_FALSE(line.device.inSession());
    line.handshake();
    EXPECT_EQ(line.write({0x55, 0x01, 0x00, 0x20, 0x01}), kNak);
    EXPECT_EQ(line.write({0x55, 0x01, 0x00, 0x20, 0x00}), kAck);
    EXPECT_EQ(line.write({0x55, 0x02, 0x00, 0x20, 0x00, 0x02}), kAck);
    EXPECT_EQ(line.write({0xAA, 0xBB, 0x00}), kNak);  // wrong XOR: the data does not land
    EXPECT_EQ(line.device.memory()[0x2000], 0xFF);
    EXPECT_THAT(line.write({0x55, 0x07, 0x00, 0x00, 0x00}), IsEmpty());  // unreadable: silence
}

TEST(DeviceTest, LineClosedDropsAPartialFrameAndEndsTheSession) {
    Line line;
    line.handshake();
    line.write({0x55, 0x01, 0x00});
    line.device.lineClosed(Micros{0});
    EXPECT_FALSE(line.device.inSession());
    EXPECT_THAT(line.device.violations(), ElementsAre(HasSubstr("frame cut short: 3 of 5")));
    line.device.lineOpened(Micros{0});
    EXPECT_THAT(line.write({0x55, 0x01, 0x00, 0x20, 0x00}), IsEmpty());
    EXPECT_THAT(line.device.violations().back(), HasSubstr("before the handshake"));
}

TEST(DeviceTest, GoRepeatedAfterALostAcknowledgementIsAcknowledgedAgain) {
    Line line;
    line.handshake();
    const Bytes go{0x55, 0x03, 0x00, 0x10, 0x00};
    EXPECT_EQ(line.write(go), kAck);
    line.now += 3s;
    EXPECT_EQ(line.write(go), kAck);
    EXPECT_EQ(line.device.sessionsEnded(), 1);
    EXPECT_THAT(line.device.violations(), IsEmpty());
    EXPECT_THAT(line.write({0x55, 0x03, 0x00, 0x20, 0x00}), IsEmpty());
    EXPECT_THAT(line.device.violations(), ElementsAre(HasSubstr("go frame before the handshake")));
}

TEST(DeviceTest, WriteCommandResentAfterItsAcknowledgementWasLostIsNoDataBlock) {
    Line line;
    line.handshake();
    line.write({0x55, 0x01, 0x00, 0x20, 0x00});
    const Bytes write{0x55, 0x02, 0x00, 0x20, 0x00, 0x05};  // as long as its own data block
    EXPECT_EQ(line.write(write), kAck);
    line.now += 3s;  // the host heard no acknowledgement and resends after its time-out
    EXPECT_EQ(line.write(write), kAck);
    EXPECT_EQ(line.write(withXor({9, 8, 7, 6, 5})), kAck);
    EXPECT_EQ(line.device.memory()[0x2004], 5);
    EXPECT_THAT(line.device.violations(), IsEmpty());
}

TEST(DeviceTest, ResentHandshakeStartsTheSessionAfresh) {
    Line line;
    line.handshake();
    line.write({0x55, 0x01, 0x00, 0x20, 0x00});
    line.handshake();
    line.write({0x55, 0x02, 0x00, 0x20, 0x00, 0x01});
    EXPECT_THAT(line.device.violations(), ElementsAre(HasSubstr("not erased in this session")));
}

}  // namespace
}  // namespace comflash::sim
