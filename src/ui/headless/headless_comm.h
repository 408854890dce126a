// The headless serial control. Its far end is a port of the headless toolkit, which may have
// a simulated device attached; the device's answers arrive in virtual time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/headless/virtual_clock.h"

namespace comflash::ui::headless {

class HeadlessToolkit;
struct HeadlessPort;

class HeadlessComm : public CommControl {
  public:
    struct Transmission {
        std::vector<std::uint8_t> bytes;
        int baud;
        Micros at;
    };

    explicit HeadlessComm(HeadlessToolkit& toolkit) : toolkit_(toolkit) {}
    ~HeadlessComm() override;
    HeadlessComm(const HeadlessComm&) = delete;
    HeadlessComm& operator=(const HeadlessComm&) = delete;

    int commPort() const override { return commPort_; }
    void setCommPort(int number) override { commPort_ = number; }
    std::string settings() const override { return settings_; }
    bool setSettings(const std::string& settings) override;
    bool portOpen() const override { return port_ != nullptr; }
    bool setPortOpen(bool open) override;
    int inputMode() const override { return inputMode_; }
    void setInputMode(int mode) override { inputMode_ = mode; }
    int rThreshold() const override { return rThreshold_; }
    void setRThreshold(int count) override { rThreshold_ = count; }
    std::vector<std::uint8_t> input() override;
    bool output(std::span<const std::uint8_t> bytes) override;
    int commEvent() const override { return commEvent_; }

    // Back to the initial properties, port closed: the window was unloaded.
    void reset();
    // Tells the program that the port it had open failed (unplugged, hung up) and is closed.
    void reportFailure();

    // Every transmission since the toolkit started, with the rate it went out at.
    const std::vector<Transmission>& transmissions() const { return transmissions_; }

  private:
    void deliver(const std::vector<std::uint8_t>& bytes, bool hangup);
    void dropInFlight();

    HeadlessToolkit& toolkit_;
    int commPort_ = 1;
    std::string settings_ = "9600,n,8,1";
    int baud_ = 9600;
    int inputMode_ = kInputModeText;
    int rThreshold_ = 0;
    int commEvent_ = 0;
    HeadlessPort* port_ = nullptr;
    // Deliveries scheduled for the current opening; cancelled when the port closes.
    std::vector<VirtualClock::EventId> inFlight_;
    std::vector<std::uint8_t> buffer_;
    std::vector<Transmission> transmissions_;
};

}  // namespace comflash::ui::headless
