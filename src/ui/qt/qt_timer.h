// A timer that ticks every interval while enabled, the interval is above 0 and its window is
// loaded. Setting the interval while it runs starts the countdown again.
#pragma once

#include <QTimer>

#include "ui/controls.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::qt {

class QtTimer final : public Timer, public ControlAdapter {
  public:
    QtTimer();

    int interval() const override { return interval_; }
    void setInterval(int milliseconds) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;

    // A window timer starts enabled with interval 0, so it waits for an interval to be set.
    void load() override;
    void unload() override;

  private:
    void apply(bool restart);

    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = true;
    bool loaded_ = false;
};

}  // namespace comflash::ui::qt
