#include "ui/qt/qt_timer.h"

namespace comflash::ui::qt {

// Qt never runs a timer's timeout again while that timeout still runs, so a repeating QTimer
// stays silent inside a message box its own handler opened. Each tick therefore starts a fresh
// single-shot countdown before the handler runs; the next tick may then come inside the box,
// and the handler may still change or stop the timer.
QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        apply(true);
        if (onTimer) onTimer();
    });
}

void QtTimer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    apply(true);
}

// Enabling a timer that already runs leaves its countdown alone.
void QtTimer::setEnabled(bool on) {
    const bool restart = on && !enabled_;
    enabled_ = on;
    apply(restart);
}

void QtTimer::load() {
    loaded_ = true;
    interval_ = 0;
    enabled_ = true;
    apply(true);
}

void QtTimer::unload() {
    loaded_ = false;
    apply(true);
}

void QtTimer::apply(bool restart) {
    if (!loaded_ || !enabled_ || interval_ <= 0) {
        timer_.stop();
    } else if (restart || !timer_.isActive()) {
        timer_.start(interval_);
    }
}

}  // namespace comflash::ui::qt
