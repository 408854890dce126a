// The serial control against a pseudo-terminal: the test holds the master side and plays
// the device.
#include "ui/qt/qt_comm.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSerialPort>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "test_application.h"
#include "ui/qt/low_latency.h"

namespace comflash::ui::qt {
namespace {

using test::waitUntil;
using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal whose slave side stands for COM3.
class Pty {
  public:
    Pty() {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
        char name[256] = {};
        if (ttyname_r(slave_, name, sizeof name) == 0) device_ = name;
    }
    ~Pty() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& device() const { return device_; }
    void send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Reads until `count` bytes came or nothing more comes for a long while.
    Bytes receive(std::size_t count) const {
        Bytes bytes;
        while (bytes.size() < count) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, test::kEventWaitMs) != 1) break;
            std::uint8_t buffer[256];
            const ssize_t got =
                ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (got <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        return bytes;
    }
    // Bytes sent that the port has not read yet.
    int unread() const {
        int count = 0;
        ioctl(slave_, FIONREAD, &count);
        return count;
    }
    speed_t speed() const {
        termios settings{};
        tcgetattr(master_, &settings);
        return cfgetospeed(&settings);
    }
    void hangUp() {
        ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    // Kept open only to see how much the port has not read yet.
    int slave_ = -1;
    std::string device_;
};

// Runs every event already queued, so that an event raised by what the test did has come.
void runQueuedEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

constexpr int kPort = 3;

class CommOverPty : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(pty_.device().empty()); }

    QtComm::PortDevice devices() {
        return [this](int n) { return n == kPort ? pty_.device() : "/dev/comflash-missing"; };
    }

    Pty pty_;
    QtComm comm_{devices()};
};

TEST_F(CommOverPty, StartsClosedWithTheControlsDefaults) {
    EXPECT_EQ(comm_.commPort(), 1);
    EXPECT_EQ(comm_.settings(), "9600,n,8,1");
    EXPECT_FALSE(comm_.portOpen());
    EXPECT_EQ(comm_.inputMode(), CommControl::kInputModeText);
    EXPECT_EQ(comm_.rThreshold(), 0);
    EXPECT_EQ(comm_.commEvent(), 0);
}

// A failed opening is answered by setPortOpen alone, with no event.
TEST_F(CommOverPty, OpensOnlyAPortThatExistsAndIsFree) {
    int events = 0;
    comm_.onComm = [&] { ++events; };
    EXPECT_FALSE(comm_.setPortOpen(true));  // COM1's device is missing
    EXPECT_FALSE(comm_.portOpen());
    EXPECT_EQ(comm_.lastFailure().kind, PortFault::Kind::NotFound);
    EXPECT_EQ(comm_.lastFailure().device, "/dev/comflash-missing");
    EXPECT_EQ(comm_.lastFailure().reason, "No such file or directory");
    comm_.setCommPort(0);
    EXPECT_FALSE(comm_.setPortOpen(true));
    EXPECT_EQ(comm_.lastFailure().device, "") << "port 0 stands for no device";
    comm_.setCommPort(kPort);
    ASSERT_TRUE(comm_.setPortOpen(true));
    EXPECT_TRUE(comm_.portOpen());
    EXPECT_EQ(comm_.lastFailure().kind, PortFault::Kind::None);
    EXPECT_TRUE(comm_.setPortOpen(true));  // already open

    QtComm other(devices());
    other.onComm = [&] { ++events; };
    other.setCommPort(kPort);
    EXPECT_FALSE(other.setPortOpen(true));  // in use
    EXPECT_EQ(other.lastFailure().kind, PortFault::Kind::Denied);
    EXPECT_EQ(other.lastFailure().device, pty_.device());

    EXPECT_TRUE(comm_.setPortOpen(false));
    EXPECT_FALSE(comm_.portOpen());
    EXPECT_TRUE(other.setPortOpen(true));
    runQueuedEvents();
    EXPECT_EQ(events, 0);
}

// One device has one writer, whatever name the second one uses and whoever runs it: as root
// the driver's exclusive mode binds nobody, and Qt's lock file goes by the name used.
TEST_F(CommOverPty, APortHeldByAnotherIsRefusedThroughAnyName) {
    comflash::test::TempFolder folder;
    const std::filesystem::path link = folder.path() / "COM9";
    std::filesystem::create_symlink(pty_.device(), link);
    // Each holds the port and returns a descriptor to close when it lets go, or -1.
    const std::function<int()> holders[] = {
        // Another serial control, through the device's own name.
        [&] {
            EXPECT_TRUE(comm_.setPortOpen(true));
            return -1;
        },
        // Another program that locked the device without the exclusive mode.
        [&] {
            const int fd = ::open(pty_.device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            return fd;
        },
    };
    comm_.setCommPort(kPort);
    for (const auto& hold : holders) {
        const int held = hold();
        QtComm other([&](int) { return link.string(); });
        EXPECT_FALSE(other.setPortOpen(true));
        EXPECT_EQ(other.lastFailure().kind, PortFault::Kind::Denied);
        EXPECT_EQ(other.lastFailure().device, link.string());
        comm_.setPortOpen(false);
        if (held >= 0) ::close(held);
        EXPECT_TRUE(other.setPortOpen(true)) << "free again";
    }
}

TEST_F(CommOverPty, ReceiveEventComesOnceTheThresholdIsBuffered) {
    comm_.setCommPort(kPort);
    comm_.setInputMode(CommControl::kInputModeBinary);
    ASSERT_TRUE(comm_.setPortOpen(true));
    std::vector<Bytes> taken;
    comm_.onComm = [&] {
        EXPECT_EQ(comm_.commEvent(), CommControl::kEventReceive);
        taken.push_back(comm_.input());
    };

    // No threshold: bytes wait in the buffer and raise nothing.
    pty_.send({0x01, 0x02});
    ASSERT_TRUE(waitUntil([&] { return !comm_.input().empty(); }));

    // Fed one byte at a time, the event waits for the third byte and hands over all three.
    comm_.setRThreshold(3);
    for (const Bytes& one : {Bytes{0x82}, Bytes{0x79}}) {
        pty_.send(one);
        ASSERT_TRUE(waitUntil([&] { return pty_.unread() == 0; }));
        QTest::qWait(0);
        EXPECT_TRUE(taken.empty());
    }
    pty_.send({0x55});
    ASSERT_TRUE(waitUntil([&] { return !taken.empty(); }));
    EXPECT_THAT(taken.front(), ElementsAre(0x82, 0x79, 0x55));
    EXPECT_TRUE(comm_.input().empty());

    // More than the threshold at once: one event with everything.
    pty_.send({0x00, 0x11, 0x22, 0x33, 0xFF});
    ASSERT_TRUE(waitUntil([&] { return taken.size() == 2; }));
    EXPECT_THAT(taken.back(), ElementsAre(0x00, 0x11, 0x22, 0x33, 0xFF));
}

// A handler that opens a message box runs a nested event loop; bytes that arrive meanwhile
// raise the event again inside it, as they would anywhere else.
TEST_F(CommOverPty, ReceiveEventsKeepComingWhileAHandlerWaits) {
    comm_.setCommPort(kPort);
    ASSERT_TRUE(comm_.setPortOpen(true));
    comm_.setRThreshold(1);
    int calls = 0;
    int depth = 0;
    int deepest = 0;
    comm_.onComm = [&] {
        ++calls;
        deepest = std::max(deepest, ++depth);
        comm_.input();
        if (calls == 1) {
            pty_.send({0x79});
            EXPECT_TRUE(waitUntil([&] { return calls == 2; }));
        }
        --depth;
    };
    pty_.send({0x82});
    ASSERT_TRUE(waitUntil([&] { return calls == 2; }));
    EXPECT_EQ(deepest, 2);
}

TEST_F(CommOverPty, OutputArrivesAtTheFarEnd) {
    const Bytes frame{0x82, 0x01, 0x02, 0x03, 0x01, 0x00, 0x7F, 0xFF};
    EXPECT_FALSE(comm_.output(frame));  // closed
    comm_.setCommPort(kPort);
    ASSERT_TRUE(comm_.setPortOpen(true));
    EXPECT_TRUE(comm_.output(frame));
    EXPECT_EQ(pty_.receive(frame.size()), frame);
}

// A pseudo-terminal has no low-latency setting: the request is refused and the port works on,
// both ways.
TEST_F(CommOverPty, APortWhoseDriverRefusesLowLatencyStillWorks) {
    comm_.setCommPort(kPort);
    ASSERT_TRUE(comm_.setPortOpen(true));
#ifdef __linux__
    EXPECT_EQ(comm_.lowLatency(), LowLatency::Refused);
#endif
    const Bytes frame{0x82, 0x01, 0x02};
    EXPECT_TRUE(comm_.output(frame));
    EXPECT_EQ(pty_.receive(frame.size()), frame);
    pty_.send({0x55});
    ASSERT_TRUE(waitUntil([&] { return !comm_.input().empty(); }));
}

TEST(LowLatencyRequest, IsRefusedForWhatIsNoSerialPort) {
#ifdef __linux__
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_EQ(requestLowLatency(ends[0]), LowLatency::Refused);
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(requestLowLatency(-1), LowLatency::Refused);
#else
    EXPECT_EQ(requestLowLatency(0), LowLatency::Unsupported);
#endif
}

TEST_F(CommOverPty, SettingsApplyToTheOpenPortAtOnce) {
    comm_.setCommPort(kPort);
    ASSERT_TRUE(comm_.setPortOpen(true));
    EXPECT_EQ(pty_.speed(), B9600);
    EXPECT_TRUE(comm_.setSettings("19200,N,8,1"));
    EXPECT_EQ(comm_.settings(), "19200,N,8,1");
    EXPECT_EQ(pty_.speed(), B19200);
    EXPECT_FALSE(comm_.setSettings("19200;N;8;1"));
    EXPECT_EQ(comm_.settings(), "19200,N,8,1");
    EXPECT_TRUE(comm_.setSettings("9600,N,8,1"));
    EXPECT_EQ(pty_.speed(), B9600);

    // Set while closed, the settings take effect at the opening.
    comm_.setPortOpen(false);
    EXPECT_TRUE(comm_.setSettings("19200,N,8,1"));
    ASSERT_TRUE(comm_.setPortOpen(true));
    EXPECT_EQ(pty_.speed(), B19200);
}

// The far end hangs up after a byte the program has not taken yet; the port finds out when it
// next reads, or at once when the program writes.
TEST_F(CommOverPty, APortThatFailsClosesAndTellsTheProgramOnce) {
    for (const bool writeFirst : {false, true}) {
        SCOPED_TRACE(writeFirst ? "found by writing" : "found by reading");
        Pty pty;
        QtComm comm([&](int) { return pty.device(); });
        ASSERT_TRUE(comm.setPortOpen(true));
        comm.setRThreshold(1);
        std::vector<int> events;
        Bytes left;
        comm.onComm = [&] {
            events.push_back(comm.commEvent());
            if (comm.commEvent() != CommControl::kEventPortFailed) return;
            EXPECT_FALSE(comm.portOpen());
            left = comm.input();
        };
        pty.send({0x79});
        ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
        pty.hangUp();
        if (writeFirst) {
            EXPECT_FALSE(comm.output(Bytes{0x82}));
            EXPECT_FALSE(comm.portOpen());
        }
        ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
        runQueuedEvents();
        EXPECT_THAT(events, ElementsAre(CommControl::kEventReceive, CommControl::kEventPortFailed));
        EXPECT_THAT(left, ElementsAre(0x79));
        EXPECT_FALSE(comm.output(Bytes{0x79}));
        EXPECT_NE(comm.lastFailure().kind, PortFault::Kind::None);
        EXPECT_EQ(comm.lastFailure().device, pty.device());
    }
}

// A device that goes away is named for what happened, not for the call that found out. A
// pseudo-terminal's name goes with its far end, as an unplugged adapter's does; a device that
// restarts puts a new line in its place, as comflash-sim does.
TEST_F(CommOverPty, AFailedPortSaysWhatHappened) {
    for (const auto& [restarted, writeFirst] :
         {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
        SCOPED_TRACE(std::string(restarted ? "a new line in its place" : "gone with its name") +
                     (writeFirst ? ", found by writing" : ", found by reading"));
        comflash::test::TempFolder folder;
        Pty pty;
        Pty next;
        const std::filesystem::path link = folder.path() / "ttyUSB0";
        std::filesystem::create_symlink(pty.device(), link);
        QtComm comm([&](int) { return link.string(); });
        ASSERT_TRUE(comm.setPortOpen(true));
        comm.setRThreshold(1);
        bool failed = false;
        comm.onComm = [&] { failed = comm.commEvent() == CommControl::kEventPortFailed; };
        pty.hangUp();
        if (restarted) {
            std::filesystem::remove(link);
            std::filesystem::create_symlink(next.device(), link);
        }
        if (writeFirst) {
            EXPECT_FALSE(comm.output(Bytes{0x82}));
        }
        ASSERT_TRUE(waitUntil([&] { return failed; }));
        EXPECT_EQ(comm.lastFailure().reason,
                  restarted ? "the line was hung up (the device closed its end or went away)"
                            : "the device went away (unplugged, or its driver removed it)");
    }
}

// The program's own closing raises no failure event: neither the errors Qt may report while
// a dead port closes, nor a failure found by a write that the program answers by closing.
TEST_F(CommOverPty, ClosingThePortRaisesNoFailure) {
    const std::function<void(QtComm&)> closings[] = {
        [](QtComm& comm) { comm.setPortOpen(false); },
        [](QtComm& comm) { comm.unload(); },
    };
    for (const auto& close : closings) {
        for (const bool writeFirst : {false, true}) {
            Pty pty;
            QtComm comm([&](int) { return pty.device(); });
            ASSERT_TRUE(comm.setPortOpen(true));
            int events = 0;
            comm.onComm = [&] { ++events; };
            pty.hangUp();
            if (writeFirst) {
                EXPECT_FALSE(comm.output(Bytes{0x82}));
            }
            close(comm);
            runQueuedEvents();
            EXPECT_EQ(events, 0);
            EXPECT_FALSE(comm.portOpen());
            EXPECT_FALSE(comm.output(Bytes{0x79}));
        }
    }
}

}  // namespace
}  // namespace comflash::ui::qt
