// The serial control over QSerialPort. Received bytes collect in the control's own buffer;
// whenever bytes arrive and at least RThreshold of them are buffered, onComm runs with
// commEvent() == kEventReceive. A port that fails while open closes itself and raises
// kEventPortFailed once. Ports are named by number; portDevice turns a number into the device
// to open. Why the port last failed is kept for a front end that can show more than the
// session's own message.
#pragma once

#include <QSerialPort>
#include <functional>
#include <string>

#include "ui/controls.h"
#include "ui/line_settings.h"
#include "ui/qt/control_adapter.h"
#include "ui/qt/low_latency.h"

namespace comflash::ui::qt {

class QtComm final : public CommControl, public ControlAdapter {
  public:
    using PortDevice = std::function<std::string(int commPort)>;

    explicit QtComm(PortDevice portDevice);
    // Closes the port while the handlers wired to it are still whole.
    ~QtComm() override { close(); }

    int commPort() const override { return commPort_; }
    // Takes effect at the next opening.
    void setCommPort(int number) override { commPort_ = number; }
    std::string settings() const override { return settings_; }
    // Applied to an open port at once.
    bool setSettings(const std::string& settings) override;
    bool portOpen() const override { return port_.isOpen(); }
    // Opening an open port does nothing and succeeds.
    bool setPortOpen(bool open) override;
    int inputMode() const override { return inputMode_; }
    void setInputMode(int mode) override { inputMode_ = mode; }
    int rThreshold() const override { return rThreshold_; }
    void setRThreshold(int count) override { rThreshold_ = count; }
    std::vector<std::uint8_t> input() override;
    bool output(std::span<const std::uint8_t> bytes) override;
    int commEvent() const override { return commEvent_; }
    PortFault lastFailure() const override { return failure_; }
    // What the driver said to low latency at the last opening.
    LowLatency lowLatency() const { return lowLatency_; }

    void load() override;
    void unload() override;

  private:
    bool open();
    void close();
    bool apply(const LineSettings& line);
    void takeReceived();
    void received();
    void deliver();
    void failed(QSerialPort::SerialPortError error);
    void fail();
    void noteFailure(const std::string& device);

    PortDevice portDevice_;
    QSerialPort port_;
    int commPort_ = 1;
    std::string settings_;
    LineSettings line_;
    int inputMode_ = kInputModeText;
    int rThreshold_ = 0;
    int commEvent_ = 0;
    std::vector<std::uint8_t> buffer_;
    // Open, and not being opened or closed by the program: a failure is news to report.
    bool watching_ = false;
    // The port failed and the program has not heard of it yet.
    bool failurePending_ = false;
    PortFault failure_;
    LowLatency lowLatency_ = LowLatency::Refused;
    std::string device_;  // the device of the open port
};

}  // namespace comflash::ui::qt
