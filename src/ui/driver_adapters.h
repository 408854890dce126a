// The driver's one-shot timer over a toolkit's timer control: a window's own Timer1, or a
// timer of its own for a program without windows.
#pragma once

#include <memory>
#include <string>

#include "driver/serial_port.h"
#include "ui/controls.h"

namespace comflash::ui {

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
