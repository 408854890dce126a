// A serial port over QSerialPort. Received bytes collect in the port's own buffer; whenever
// bytes arrive and at least the count asked for are held, onReceived runs. A port that fails
// while open closes itself and raises onFailed once. Ports are numbered; portDevice turns a
// number into the device to open.
#pragma once

#include <QSerialPort>
#include <functional>
#include <string>

#include "ui/port_control.h"
#include "ui/qt/low_latency.h"

namespace comflash::ui::qt {

class QtSerialPort final : public LinePort {
  public:
    using PortDevice = std::function<std::string(int number)>;

    explicit QtSerialPort(PortDevice portDevice, int number = 1);
    // Closes the port while the handlers wired to it are still whole.
    ~QtSerialPort() override { close(); }
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    void setNumber(int number) override { number_ = number; }
    int number() const override { return number_; }
    bool setLine(const LineSettings& line) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool send(std::span<const std::uint8_t> bytes) override;
    driver::Bytes take() override;
    void notifyAt(int count) override { notifyAt_ = count; }
    PortFault fault() const override { return failure_; }
    // What the driver said to low latency at the last opening.
    LowLatency lowLatency() const { return lowLatency_; }

  private:
    bool apply(const LineSettings& line);
    void takeReceived();
    void received();
    void deliver();
    void failed(QSerialPort::SerialPortError error);
    void fail();
    void noteFailure(const std::string& device);

    PortDevice portDevice_;
    QSerialPort port_;
    int number_;
    LineSettings line_;
    int notifyAt_ = 0;
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
