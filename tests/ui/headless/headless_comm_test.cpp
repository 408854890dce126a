#include "ui/headless/headless_comm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/device.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::ui::headless {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Handshake for model 1:2:3, version 1.2, with its XOR.
const Bytes kHandshake{0x55, 0x82, 0x01, 0x02, 0x03, 0x01, 0x02, 0xD4};

class HeadlessCommTest : public ::testing::Test {
  protected:
    HeadlessCommTest() {
        window = toolkit.createWindow(kFormProcess);
        window->show();
    }
    HeadlessComm& comm() { return dynamic_cast<HeadlessWindow&>(*window).headlessComm("MSComm1"); }

    // The device outlives the window, whose serial control closes the line when it goes.
    sim::Device device{timedOptions()};
    HeadlessToolkit toolkit;
    std::unique_ptr<Window> window;

  private:
    static sim::DeviceOptions timedOptions() {
        sim::DeviceOptions options;
        options.lineTiming = true;
        return options;
    }
};

TEST_F(HeadlessCommTest, OnlyPortsThatExistAndAreFreeOpen) {
    comm().setCommPort(3);
    EXPECT_FALSE(comm().setPortOpen(true)) << "no such port";
    toolkit.addPort(3).busy = true;
    EXPECT_FALSE(comm().setPortOpen(true)) << "in use by another program";
    toolkit.port(3)->busy = false;
    EXPECT_TRUE(comm().setPortOpen(true));

    auto other = toolkit.createWindow(kFormComPort);
    other->comm("MSComm1").setCommPort(3);
    EXPECT_FALSE(other->comm("MSComm1").setPortOpen(true)) << "already open here";
    EXPECT_TRUE(comm().setPortOpen(false));
    EXPECT_TRUE(other->comm("MSComm1").setPortOpen(true));
    EXPECT_FALSE(comm().output(kHandshake)) << "writing to a closed port fails";
}

TEST_F(HeadlessCommTest, DeviceAnswersArriveInVirtualTimeAtTheThreshold) {
    toolkit.addPort(1, &device);
    ASSERT_TRUE(comm().setSettings("19200,N,8,1"));
    ASSERT_TRUE(comm().setPortOpen(true));
    comm().setInputMode(CommControl::kInputModeBinary);
    comm().setRThreshold(18);  // 8 echoed bytes and the 10-byte handshake reply
    std::vector<Bytes> received;
    std::vector<Micros> at;
    comm().onComm = [&] {
        EXPECT_EQ(comm().commEvent(), CommControl::kEventReceive);
        received.push_back(comm().input());
        at.push_back(toolkit.clock().now());
    };

    ASSERT_TRUE(comm().output(kHandshake));
    EXPECT_EQ(comm().transmissions().back().baud, 19200);
    toolkit.drive();
    ASSERT_EQ(received.size(), 1u);
    ASSERT_EQ(received[0].size(), 18u);
    EXPECT_EQ(Bytes(received[0].begin(), received[0].begin() + 8), kHandshake) << "echo first";
    EXPECT_EQ(received[0][8], 0x79);
    EXPECT_GT(at[0], 0us) << "with line timing, 18 bytes take time at 19200 baud";
    EXPECT_LT(at[0], 100ms);
}

TEST_F(HeadlessCommTest, ClosingThePortDropsBytesStillOnTheLine) {
    toolkit.addPort(1, &device);
    ASSERT_TRUE(comm().setPortOpen(true));
    comm().setRThreshold(1);
    int events = 0;
    comm().onComm = [&] { ++events; };
    ASSERT_TRUE(comm().output(kHandshake));
    comm().setPortOpen(false);
    toolkit.drive();
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(comm().input().empty());
}

TEST(HeadlessComm, APortWhoseDeviceHangsUpClosesItselfAndOpensAgain) {
    sim::DeviceOptions options;
    ASSERT_FALSE(options.faults.add("hangup:1").has_value());
    sim::Device device(options);
    HeadlessToolkit toolkit;
    toolkit.addPort(1, &device);
    auto window = toolkit.createWindow(kFormProcess);
    window->show();
    CommControl& comm = window->comm("MSComm1");
    ASSERT_TRUE(comm.setPortOpen(true));
    ASSERT_TRUE(comm.output(kHandshake));
    toolkit.drive();
    EXPECT_FALSE(comm.portOpen());
    EXPECT_FALSE(comm.output(kHandshake));
    EXPECT_TRUE(comm.setPortOpen(true)) << "the device restarts after hanging up";
    comm.setRThreshold(18);
    std::vector<std::uint8_t> reply;
    comm.onComm = [&] { reply = comm.input(); };
    ASSERT_TRUE(comm.output(kHandshake));
    toolkit.drive();
    ASSERT_EQ(reply.size(), 18u);
    EXPECT_EQ(reply[8], 0x79);
}

}  // namespace
}  // namespace comflash::ui::headless
