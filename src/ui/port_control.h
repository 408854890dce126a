// A toolkit's serial port as the control layer knows it, and the windows' serial control over
// it. The port does the work and names it for what it does; the control maps the properties
// the windows use (a port number, a settings text such as "9600,N,8,1", a receive threshold,
// the receive and failure events) onto it.
#pragma once

#include <memory>
#include <string>

#include "driver/serial_port.h"
#include "ui/controls.h"
#include "ui/line_settings.h"

namespace comflash::ui {

// A port numbered as the COM dialog numbers ports, with any line settings the serial control's
// text can give.
class LinePort : public driver::SerialPort {
  public:
    // The port the next opening opens: "COM"number.
    virtual void setNumber(int number) = 0;
    virtual int number() const = 0;
    // At once on an open port, else from the next opening. False when the open port refuses.
    virtual bool setLine(const LineSettings& line) = 0;
    bool setRate(int baud) final { return setLine({baud, 'N', 8, 1}); }
};

// The serial control of a window over a port of its own. A session's driver may run over
// port(): it then takes the port's events, and the control raises none.
class PortControl : public CommControl {
  public:
    explicit PortControl(std::unique_ptr<LinePort> port);
    ~PortControl() override;
    PortControl(const PortControl&) = delete;
    PortControl& operator=(const PortControl&) = delete;

    LinePort& port() override { return *port_; }

    int commPort() const override { return port_->number(); }
    // Takes effect at the next opening.
    void setCommPort(int number) override { port_->setNumber(number); }
    std::string settings() const override { return settings_; }
    // Applied to an open port at once.
    bool setSettings(const std::string& settings) override;
    bool portOpen() const override { return port_->isOpen(); }
    // Opening an open port does nothing and succeeds.
    bool setPortOpen(bool open) override;
    int inputMode() const override { return inputMode_; }
    void setInputMode(int mode) override { inputMode_ = mode; }
    int rThreshold() const override { return rThreshold_; }
    void setRThreshold(int count) override;
    std::vector<std::uint8_t> input() override { return port_->take(); }
    bool output(std::span<const std::uint8_t> bytes) override { return port_->send(bytes); }
    int commEvent() const override { return commEvent_; }
    PortFault lastFailure() const override { return port_->fault(); }

  protected:
    // The control's initial properties, the port closed: port 1, "9600,n,8,1", text input,
    // no receive events.
    void reset();

  private:
    std::unique_ptr<LinePort> port_;
    std::string settings_;
    int inputMode_ = kInputModeText;
    int rThreshold_ = 0;
    int commEvent_ = 0;
};

}  // namespace comflash::ui
