#include "ui/qt/qt_progress_bar.h"

#include <cmath>

#include "ui/qt/widget_geometry.h"

namespace comflash::ui::qt {

namespace {

// QProgressBar counts in whole steps; this many make the bar look continuous.
constexpr int kSteps = 10000;

}  // namespace

QtProgressBar::QtProgressBar(const ControlEntry& entry, QWidget* window)
    : entry_(entry), bar_(new QProgressBar(window)) {
    placeControl(*bar_, entry);
    bar_->setRange(0, kSteps);
    bar_->setTextVisible(false);
}

void QtProgressBar::setValue(double fraction) {
    value_ = fraction;
    // Out-of-range values (and NaN) are kept for value() but drawn at the nearest end.
    const double shown = fraction > 0 ? std::min(fraction, 1.0) : 0.0;
    bar_->setValue(static_cast<int>(std::lround(shown * kSteps)));
}

void QtProgressBar::load() {
    setValue(0);
    bar_->setVisible(entry_.visible);
}

}  // namespace comflash::ui::qt
