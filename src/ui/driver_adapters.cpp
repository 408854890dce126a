#include "ui/driver_adapters.h"

namespace comflash::ui {

// A control's timer ticks every interval while enabled; the first tick stops it.
ControlTimer::ControlTimer(std::unique_ptr<ui::Timer> timer) : ControlTimer(*timer) {
    owned_ = std::move(timer);
}

ControlTimer::ControlTimer(ui::Timer& timer) : timer_(timer) {
    timer_.onTimer = [this] {
        timer_.setEnabled(false);
        if (onExpired) onExpired();
    };
}

ControlTimer::~ControlTimer() {
    timer_.onTimer = nullptr;
}

void ControlTimer::start(int milliseconds) {
    timer_.setInterval(milliseconds);
    timer_.setEnabled(true);
}

}  // namespace comflash::ui
