// The Win32 serial port, read either way (a reader thread, as the windows read; or on the
// loop's thread, as the command line does), against comflash-sim through the COM port that
// COMFLASH_TEST_COM names (with_sim.sh links one under Wine; each way gets a device of its own,
// since the device ends after the session).
#include "ui/win32/win32_serial_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "host/win32_host.h"
#include "host/win32_loop.h"
#include "session/frames.h"
#include "ui/win32/message_window.h"
#include "ui/win32/win32_toolkit.h"

namespace comflash::ui::win32 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reading = Win32SerialPort::Reading;

int simulatedPort() {
    const char* number = std::getenv("COMFLASH_TEST_COM");
    return number != nullptr ? std::atoi(number) : 0;
}

Bytes frame(void (*put)(session::Frame&), std::size_t length) {
    session::Frame bytes{};
    bytes[0] = session::kMarker;
    put(bytes);
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)};
}

Bytes handshake() {
    return frame(
        [](session::Frame& f) {
            session::putHandshake(f, {1, 2, 3}, 1, 3);
        },
        session::kHandshakeLength);
}

Bytes go() {
    return frame([](session::Frame& f) { session::putGo(f, 0x1000); }, session::kGoLength);
}

class Win32SerialPortTest : public ::testing::TestWithParam<Reading> {
  protected:
    // Where each way's notices go: the windows' message window, or the command line's loop.
    Notices& notices() {
        if (GetParam() == Reading::Thread) return MessageWindow::instance();
        return host::Win32Loop::instance();
    }

    // Runs the loop that each way is read in, the windows' or the command line's, until
    // `done` or for `milliseconds`, whichever comes first.
    void run(const std::function<bool()>& done, int milliseconds = 10'000) {
        bool over = false;
        const auto until = [&] { return over || done(); };
        if (GetParam() == Reading::Thread) {
            auto& messages = MessageWindow::instance();
            const UINT_PTR bound = messages.add([&over](LPARAM) { over = true; });
            messages.startTimer(bound, milliseconds);
            toolkit_.runUntil(until);
            messages.remove(bound);
        } else {
            host::Win32LoopTimer bound(host::Win32Loop::instance());
            bound.onExpired = [&over] { over = true; };
            bound.start(milliseconds);
            host_.runUntil(until);
        }
    }

    Win32Toolkit toolkit_;
    host::Win32Host host_;
};

// The receive rules over a real line: the answer below the count asked for raises nothing; at
// the count it comes whole in one notice; the device's going away comes once, after the
// bytes before it, and closes the port. A port closed while an answer is on its way opens
// again at once, and nothing of the earlier opening reaches the new one.
TEST_P(Win32SerialPortTest, AnswersComeInOneNoticeAndTheEndAfterThem) {
    const int number = simulatedPort();
    if (number == 0) GTEST_SKIP() << "no simulated device (COMFLASH_TEST_COM)";
    Win32SerialPort port(GetParam(), notices());
    port.setNumber(number);
    ASSERT_TRUE(port.setLine({19200, 'N', 8, 1}));
    ASSERT_TRUE(port.open()) << port.fault().reason;
    EXPECT_TRUE(port.open()) << "opening an open port succeeds";
    std::vector<std::string> events;
    std::vector<Bytes> received;
    port.onReceived = [&] {
        events.push_back("received");
        received.push_back(port.take());
    };
    port.onFailed = [&] { events.push_back("failed"); };
    const Bytes hello = handshake();
    const int answer = static_cast<int>(hello.size()) + session::kHandshakeReplyLength;

    port.notifyAt(answer + 1);
    ASSERT_TRUE(port.send(hello));
    run([] { return false; }, 300);
    EXPECT_TRUE(events.empty()) << "below the count";
    EXPECT_EQ(port.take().size(), static_cast<std::size_t>(answer));

    // The answer reaches the driver while the loop does not run; the port closes and opens.
    ASSERT_TRUE(port.send(hello));
    Sleep(200);
    port.close();
    ASSERT_TRUE(port.open()) << "the same port right after: " << port.fault().reason;
    port.notifyAt(1);
    run([] { return false; }, 300);
    EXPECT_TRUE(events.empty()) << "an answer to the earlier opening";
    EXPECT_TRUE(port.take().empty());

    port.notifyAt(answer);
    ASSERT_TRUE(port.send(hello));
    run([&] { return !events.empty(); });
    run([] { return false; }, 100);
    ASSERT_EQ(events, std::vector<std::string>{"received"});
    ASSERT_EQ(received.front().size(), static_cast<std::size_t>(answer));
    EXPECT_EQ(Bytes(received.front().begin(), received.front().begin() + 8), hello);
    EXPECT_EQ(received.front()[8], session::kAck);
    EXPECT_EQ(Bytes(received.front().end() - 3, received.front().end()), (Bytes{1, 2, 3}));

    // The device acknowledges the go and ends: the acknowledgement, then the end, once.
    const Bytes start = go();
    port.notifyAt(static_cast<int>(start.size()) + 1);
    ASSERT_TRUE(port.send(start));
    run([&] { return events.size() >= 3; });
    run([] { return false; }, 100);
    EXPECT_EQ(events, (std::vector<std::string>{"received", "received", "failed"}));
    ASSERT_EQ(received.size(), 2u);
    Bytes acknowledged = start;
    acknowledged.push_back(session::kAck);
    EXPECT_EQ(received.back(), acknowledged) << "the echo and the acknowledgement";
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.fault().kind, PortFault::Kind::Other);
    EXPECT_FALSE(port.fault().reason.empty());
    EXPECT_FALSE(port.send(hello));
}

std::string readingName(const ::testing::TestParamInfo<Reading>& reading) {
    return reading.param == Reading::Thread ? "Thread" : "Loop";
}

INSTANTIATE_TEST_SUITE_P(Reading, Win32SerialPortTest,
                         ::testing::Values(Reading::Thread, Reading::Loop), readingName);

}  // namespace
}  // namespace comflash::ui::win32
