// The headless serial port and the serial control over it. The port's far end is a port of
// the headless toolkit, which may have a simulated device attached; the device's answers
// arrive in virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/headless/virtual_clock.h"
#include "ui/port_control.h"

namespace comflash::ui::headless {

class HeadlessToolkit;
struct HeadlessPort;

class HeadlessSerialPort final : public LinePort {
  public:
    struct Transmission {
        std::vector<std::uint8_t> bytes;
        int baud;
        Micros at;
    };

    explicit HeadlessSerialPort(HeadlessToolkit& toolkit) : toolkit_(toolkit) {}
    ~HeadlessSerialPort() override;
    HeadlessSerialPort(const HeadlessSerialPort&) = delete;
    HeadlessSerialPort& operator=(const HeadlessSerialPort&) = delete;

    void setNumber(int number) override { number_ = number; }
    int number() const override { return number_; }
    bool setLine(const LineSettings& line) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return port_ != nullptr; }
    bool send(std::span<const std::uint8_t> bytes) override;
    driver::Bytes take() override;
    void notifyAt(int count) override { notifyAt_ = count; }
    PortFault fault() const override { return fault_; }

    // Tells the program that the port it had open failed (unplugged, hung up) and is closed.
    void reportFailure();

    // Every transmission since the port was made, with the rate it went out at.
    const std::vector<Transmission>& transmissions() const { return transmissions_; }

  private:
    void deliver(const std::vector<std::uint8_t>& bytes, bool hangup);
    void dropInFlight();

    HeadlessToolkit& toolkit_;
    int number_ = 1;
    int baud_ = 9600;
    int notifyAt_ = 0;
    HeadlessPort* port_ = nullptr;
    PortFault fault_;
    // Deliveries scheduled for the current opening; cancelled when the port closes.
    std::vector<VirtualClock::EventId> inFlight_;
    std::vector<std::uint8_t> buffer_;
    std::vector<Transmission> transmissions_;
};

class HeadlessComm final : public PortControl {
  public:
    explicit HeadlessComm(HeadlessToolkit& toolkit);

    // Back to the initial properties, port closed: the window was unloaded.
    void reset() { PortControl::reset(); }
    void reportFailure() { port_.reportFailure(); }
    const std::vector<HeadlessSerialPort::Transmission>& transmissions() const {
        return port_.transmissions();
    }

  private:
    HeadlessComm(HeadlessToolkit& toolkit, std::unique_ptr<HeadlessSerialPort> port);

    HeadlessSerialPort& port_;
};

}  // namespace comflash::ui::headless
