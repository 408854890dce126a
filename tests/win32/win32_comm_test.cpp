// The Win32 serial control. The cases that need a device run when COMFLASH_TEST_COM names
// a port with comflash-sim at its far end (with_sim.sh links one under Wine); the others run
// everywhere.
#include "ui/win32/win32_comm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "session/frames.h"
#include "ui/win32/message_window.h"
#include "ui/win32/win32_controls.h"
#include "ui/win32/win32_toolkit.h"

namespace comflash::ui::win32 {
namespace {

using Bytes = std::vector<std::uint8_t>;

int simulatedPort() {
    const char* number = std::getenv("COMFLASH_TEST_COM");
    return number != nullptr ? std::atoi(number) : 0;
}

// Runs the message loop until `done`, or until a generous bound that a passing run never
// reaches (the device is a real process at the end of a real line).
void runUntil(Win32Toolkit& toolkit, const std::function<bool()>& done) {
    bool gaveUp = false;
    auto& messages = MessageWindow::instance();
    const UINT_PTR bound = messages.add([&gaveUp](LPARAM) { gaveUp = true; });
    messages.startTimer(bound, 10'000);
    toolkit.runUntil([&] { return gaveUp || done(); });
    messages.remove(bound);
}

Bytes handshake() {
    session::Frame frame{};
    frame[0] = session::kMarker;
    session::putHandshake(frame, {1, 2, 3}, 1, 3);
    return {frame.begin(), frame.begin() + session::kHandshakeLength};
}

TEST(Win32CommTest, PortsWithoutADeviceRefuseAtOnce) {
    EXPECT_EQ(Win32Comm::deviceName(3), L"\\\\.\\COM3");
    EXPECT_EQ(Win32Comm::deviceName(12), L"\\\\.\\COM12") << "COM10 and above need the prefix";
    Win32Comm comm;
    EXPECT_EQ(comm.settings(), "9600,n,8,1");
    EXPECT_FALSE(comm.setSettings("19200,X,8,1"));
    EXPECT_TRUE(comm.setSettings("19200,N,8,1"));
    for (const int number : {0, 98}) {
        comm.setCommPort(number);
        EXPECT_FALSE(comm.setPortOpen(true)) << number;
        EXPECT_FALSE(comm.portOpen());
        EXPECT_FALSE(comm.failureReason().empty()) << number;
    }
    const Bytes bytes{1, 2, 3};
    EXPECT_FALSE(comm.output(bytes)) << "a closed port sends nothing";
}

TEST(Win32CommTest, HandshakeIsAnsweredThroughOneReceiveEvent) {
    const int port = simulatedPort();
    if (port == 0) GTEST_SKIP() << "no simulated device (COMFLASH_TEST_COM)";
    Win32Toolkit toolkit;
    Win32Comm comm;
    comm.setCommPort(port);
    ASSERT_TRUE(comm.setSettings("19200,N,8,1"));
    ASSERT_TRUE(comm.setPortOpen(true)) << comm.failureReason();
    EXPECT_TRUE(comm.setPortOpen(true)) << "opening an open port succeeds";
    comm.setInputMode(CommControl::kInputModeBinary);
    const Bytes frame = handshake();
    const int answer = static_cast<int>(frame.size()) + session::kHandshakeReplyLength;
    std::vector<Bytes> received;
    comm.onComm = [&] {
        ASSERT_EQ(comm.commEvent(), CommControl::kEventReceive) << comm.failureReason();
        received.push_back(comm.input());
    };
    // With the threshold a byte above the answer, the answer raises nothing and is held.
    comm.setRThreshold(answer + 1);
    ASSERT_TRUE(comm.output(frame));
    bool waited = false;
    Win32Timer pause;
    pause.load();
    pause.onTimer = [&] { waited = true; };
    pause.setInterval(300);
    runUntil(toolkit, [&] { return waited; });
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(comm.input().size(), static_cast<std::size_t>(answer));

    comm.setRThreshold(answer);
    ASSERT_TRUE(comm.output(frame));
    runUntil(toolkit, [&] { return !received.empty(); });
    ASSERT_EQ(received.size(), 1u);
    const Bytes& bytes = received.front();
    ASSERT_EQ(bytes.size(), frame.size() + session::kHandshakeReplyLength);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), frame) << "the line echoes the frame";
    EXPECT_EQ(bytes[8], session::kAck);
    EXPECT_EQ(bytes[9], session::kSpeedUp);
    EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{1, 2, 3})) << "the device's model";
    EXPECT_TRUE(comm.input().empty());

    // The device goes away: the port closes and says why, once.
    int failures = 0;
    comm.onComm = [&] {
        if (comm.commEvent() == CommControl::kEventPortFailed) ++failures;
    };
    ASSERT_TRUE(comm.setSettings("19200,N,8,1"));
    session::Frame go{};
    go[0] = session::kMarker;
    session::putGo(go, 0x1000);
    ASSERT_TRUE(comm.output(Bytes(go.begin(), go.begin() + session::kGoLength)));
    runUntil(toolkit, [&] { return failures > 0; });
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_FALSE(comm.failureReason().empty());
    EXPECT_FALSE(comm.output(frame));
}

// The timer keeps its due time itself and leaves the system's timer set when the countdown is
// restarted or stopped: a restart still ticks a whole interval after it, never at the system
// timer's older moment, a stopped timer never ticks, and a shorter interval is not held up by
// the longer one the system's timer was set for.
TEST(Win32CommTest, TimerTicksAnIntervalAfterItsLastRestart) {
    using namespace std::chrono;
    struct Case {
        const char* name;
        int first;        // interval at the start, ms
        int secondAfter;  // when the change comes, ms
        int second;       // the interval after it (0: stopped)
        int notBefore;    // the first tick, ms from the start; -1: none within 400 ms
        int before;
    };
    for (const Case& c : {Case{"restarted", 60, 30, 60, 90, 400}, Case{"stopped", 60, 30, 0, -1, 0},
                          Case{"shortened", 1000, 10, 30, 40, 400}}) {
        Win32Toolkit toolkit;
        Win32Timer timer;
        Win32Timer change;
        timer.load();
        change.load();
        const auto start = steady_clock::now();
        std::vector<int> ticks;
        timer.onTimer = [&] {
            ticks.push_back(int(duration_cast<milliseconds>(steady_clock::now() - start).count()));
        };
        // It keeps ticking after the change, so that the loop looks at the clock.
        bool changed = false;
        change.onTimer = [&] {
            if (std::exchange(changed, true)) return;
            timer.setEnabled(false);
            if (c.second == c.first) timer.setEnabled(true);
            if (c.second != 0 && c.second != c.first) {
                timer.setEnabled(true);
                timer.setInterval(c.second);
            }
        };
        timer.setInterval(c.first);
        change.setInterval(c.secondAfter);
        runUntil(toolkit,
                 [&] { return !ticks.empty() || steady_clock::now() - start > milliseconds(400); });
        if (c.notBefore < 0) {
            EXPECT_TRUE(ticks.empty()) << c.name;
        } else {
            ASSERT_FALSE(ticks.empty()) << c.name;
            EXPECT_GE(ticks.front(), c.notBefore) << c.name;
            EXPECT_LT(ticks.front(), c.before) << c.name;
        }
    }
}

}  // namespace
}  // namespace comflash::ui::win32
