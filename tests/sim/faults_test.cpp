#include "sim/faults.h"

#include <algorithm>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace comflash::sim {
namespace {

using namespace std::chrono_literals;

TEST(FaultPlanTest, ParsesTheFaultGrammar) {
    struct Case {
        const char* fault;
        int frame;
        std::optional<FaultKind> kind;
    };
    const Case cases[] = {
        {"drop:5", 5, FaultKind::Drop},        {"drop:5", 4, std::nullopt},
        {"drop:5-9", 9, FaultKind::Drop},      {"drop:5-9", 10, std::nullopt},
        {"nak:3", 3, FaultKind::Nak},          {"corrupt:7", 7, FaultKind::Corrupt},
        {"garbage:4", 4, FaultKind::Garbage},  {"partial:6", 6, FaultKind::Partial},
        {"model:1", 1, FaultKind::WrongModel}, {"hangup:40", 40, FaultKind::Hangup},
        {"delay:8:2500", 8, FaultKind::Delay},
    };
    for (const Case& c : cases) {
        FaultPlan plan;
        EXPECT_EQ(plan.add(c.fault), std::nullopt) << c.fault;
        const auto fault = plan.faultFor(c.frame, FrameKind::Other);
        EXPECT_EQ(fault ? std::optional(fault->kind) : std::nullopt, c.kind)
            << c.fault << " frame " << c.frame;
    }
    FaultPlan plan;
    ASSERT_EQ(plan.add("delay:8:2500"), std::nullopt);
    EXPECT_EQ(plan.faultFor(8, FrameKind::Other)->delay, 2500ms);
    ASSERT_EQ(plan.add("delay:9:86400000"), std::nullopt);
    EXPECT_EQ(plan.faultFor(9, FrameKind::Other)->delay, kMaxFaultDelay);
}

TEST(FaultPlanTest, RejectsWhatItDoesNotUnderstand) {
    for (const char* faultText :
         {"drop", "drop:", "drop:0", "drop:9-5", "drop:x", "drop:5-", "fly:3", "delay:8",
          "delay:8:", "delay:8:-1", "random:1.5", "random:x", "random:-0.1", "nak:3:4",
          // Longer than a day, up to where milliseconds no longer fit in microseconds.
          "delay:1:86400001", "delay:1:9223372036854776", "delay:1:9223372036854775807",
          // A stuck byte names an address up to FFFF and a byte.
          "stuck:5", "stuck:0x10000:1", "stuck:5:256", "stuck:x:1", "stuck:5:0x", "stuck:-1:0"}) {
        FaultPlan plan;
        EXPECT_NE(plan.add(faultText), std::nullopt) << faultText;
    }
}

TEST(FaultPlanTest, StuckBytesNameAnAddressAndAValueAndNoFrame) {
    FaultPlan plan;
    for (const char* text : {"stuck:0x8010:0x5A", "stuck:65535:0", "stuck:0X0:0XFF"}) {
        ASSERT_EQ(plan.add(text), std::nullopt) << text;
    }
    ASSERT_EQ(plan.stuckBytes().size(), 3u);
    const std::vector<std::pair<int, int>> found{
        {plan.stuckBytes()[0].address, plan.stuckBytes()[0].value},
        {plan.stuckBytes()[1].address, plan.stuckBytes()[1].value},
        {plan.stuckBytes()[2].address, plan.stuckBytes()[2].value}};
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{0x8010, 0x5A}, {0xFFFF, 0}, {0, 0xFF}}));
    EXPECT_EQ(plan.faultFor(1, FrameKind::Other), std::nullopt);
}

TEST(FaultPlanTest, TheFirstMatchingFaultWins) {
    FaultPlan plan;
    ASSERT_EQ(plan.add("nak:3-4"), std::nullopt);
    ASSERT_EQ(plan.add("drop:4-5"), std::nullopt);
    EXPECT_EQ(plan.faultFor(4, FrameKind::Other)->kind, FaultKind::Nak);
    EXPECT_EQ(plan.faultFor(5, FrameKind::Other)->kind, FaultKind::Drop);
}

// The kinds of fault frames 1 to 2000 get, -1 for none.
std::vector<int> pattern(const char* faultText, std::uint64_t seed,
                         FrameKind frameKind = FrameKind::Other) {
    FaultPlan plan;
    EXPECT_EQ(plan.add(faultText), std::nullopt);
    plan.setSeed(seed);
    std::vector<int> kinds;
    for (int frame = 1; frame <= 2000; ++frame) {
        const auto fault = plan.faultFor(frame, frameKind);
        kinds.push_back(fault ? static_cast<int>(fault->kind) : -1);
        if (fault && fault->kind == FaultKind::Delay) {
            EXPECT_GE(fault->delay, 100ms);
            EXPECT_LE(fault->delay, 3000ms);
        }
    }
    return kinds;
}

std::ptrdiff_t count(const std::vector<int>& kinds, FaultKind kind) {
    return std::count(kinds.begin(), kinds.end(), static_cast<int>(kind));
}

TEST(FaultPlanTest, RandomFaultsFollowTheSeedAndTheRate) {
    EXPECT_EQ(pattern("random:0.05", 7), pattern("random:0.05", 7));
    EXPECT_NE(pattern("random:0.05", 7), pattern("random:0.05", 8));
    const auto some = pattern("random:0.05", 7);
    const auto faulty = std::count_if(some.begin(), some.end(), [](int k) { return k >= 0; });
    EXPECT_GT(faulty, 50);  // about 100 of 2000
    EXPECT_LT(faulty, 160);
    const auto all = pattern("random:1", 3);
    EXPECT_EQ(std::count(all.begin(), all.end(), -1), 0);
    for (FaultKind kind : {FaultKind::WrongModel, FaultKind::Hangup}) {
        EXPECT_EQ(count(all, kind), 0);
    }
    const auto none = pattern("random:0", 3);
    EXPECT_EQ(std::count(none.begin(), none.end(), -1), 2000);
}

// A refused handshake ends the host's update session for good; any other frame may be refused.
TEST(FaultPlanTest, ARandomFaultNeverRefusesAHandshake) {
    const auto handshakes = pattern("random:1", 3, FrameKind::Handshake);
    const auto others = pattern("random:1", 3, FrameKind::Other);
    EXPECT_EQ(handshakes, pattern("random:1", 3, FrameKind::Handshake));
    EXPECT_EQ(count(handshakes, FaultKind::Nak), 0);
    EXPECT_GT(count(others, FaultKind::Nak), 200);  // about 1 in 6
    for (FaultKind kind : {FaultKind::Drop, FaultKind::Corrupt, FaultKind::Garbage,
                           FaultKind::Partial, FaultKind::Delay}) {
        EXPECT_GT(count(handshakes, kind), 200) << static_cast<int>(kind);
    }
    // Which frames are faulty does not depend on their kind.
    const auto sparse = pattern("random:0.05", 7, FrameKind::Handshake);
    const auto sparseOthers = pattern("random:0.05", 7, FrameKind::Other);
    for (std::size_t i = 0; i < sparse.size(); ++i) {
        EXPECT_EQ(sparse[i] < 0, sparseOthers[i] < 0) << "frame " << i + 1;
    }
}

// A frame named by a fault gets that fault, handshake or not.
TEST(FaultPlanTest, AScheduledNakRefusesAHandshakeToo) {
    FaultPlan plan;
    ASSERT_EQ(plan.add("nak:1"), std::nullopt);
    EXPECT_EQ(plan.faultFor(1, FrameKind::Handshake)->kind, FaultKind::Nak);
}

}  // namespace
}  // namespace comflash::sim
