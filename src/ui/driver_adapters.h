// The driver's serial port and timer over a toolkit's serial control and timer: what a
// window's own controls (or a program without windows, through the same controls) give a
// session. Every toolkit's control keeps its own rules (the receive event comes with arriving
// bytes, a failed port closes itself); these only name the operations for what they do.
#pragma once

#include <memory>
#include <string>

#include "driver/serial_port.h"
#include "ui/controls.h"

namespace comflash::ui {

class ControlPort final : public driver::SerialPort {
  public:
    // The control opens port number `number` ("COM"n) of its toolkit; binary input.
    ControlPort(CommControl& comm, int number);
    // The same over a control of its own.
    ControlPort(std::unique_ptr<CommControl> comm, int number);
    ~ControlPort() override;
    ControlPort(const ControlPort&) = delete;
    ControlPort& operator=(const ControlPort&) = delete;

    // The port the next opening opens.
    void setNumber(int number) { number_ = number; }

    bool open() override;
    void close() override;
    bool isOpen() const override { return comm_.portOpen(); }
    bool setRate(int baud) override;
    bool send(std::span<const std::uint8_t> bytes) override { return comm_.output(bytes); }
    driver::Bytes take() override { return comm_.input(); }
    void notifyAt(int count) override { comm_.setRThreshold(count); }
    PortFault fault() const override { return comm_.lastFailure(); }

  private:
    std::unique_ptr<CommControl> owned_;
    CommControl& comm_;
    int number_;
};

class ControlTimer final : public driver::Timer {
  public:
    explicit ControlTimer(ui::Timer& timer);
    // The same over a timer of its own, ready to run.
    explicit ControlTimer(std::unique_ptr<ui::Timer> timer);
    ~ControlTimer() override;
    ControlTimer(const ControlTimer&) = delete;
    ControlTimer& operator=(const ControlTimer&) = delete;

    void start(int milliseconds) override;
    void stop() override { timer_.setEnabled(false); }

  private:
    std::unique_ptr<ui::Timer> owned_;
    ui::Timer& timer_;
};

}  // namespace comflash::ui
