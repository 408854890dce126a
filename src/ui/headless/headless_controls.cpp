#include "ui/headless/headless_controls.h"

#include <chrono>

#include "ui/headless/headless_window.h"

namespace comflash::ui::headless {

bool HeadlessButton::click() {
    if (!visible_ || !window_.acceptsInput() || !onClick) return false;
    onClick();
    return true;
}

void HeadlessTimer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    restart();
}

void HeadlessTimer::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    restart();
}

void HeadlessTimer::load() {
    loaded_ = true;
    interval_ = 0;
    enabled_ = true;
    restart();
}

void HeadlessTimer::unload() {
    loaded_ = false;
    stop();
}

void HeadlessTimer::restart() {
    stop();
    if (!loaded_ || !enabled_ || interval_ <= 0) return;
    pending_ =
        clock_.schedule(clock_.now() + std::chrono::milliseconds(interval_), [this] { tick(); });
}

void HeadlessTimer::stop() {
    if (pending_ != 0) clock_.cancel(pending_);
    pending_ = 0;
}

void HeadlessTimer::tick() {
    pending_ = 0;
    restart();  // the next tick is due one interval on, unless the handler changes the timer
    if (onTimer) onTimer();
}

void HeadlessComboBox::setItemToolTip(int index, const std::string& text) {
    if (has(index)) items_[static_cast<std::size_t>(index)].toolTip = text;
}

std::string HeadlessComboBox::list(int index) const {
    return has(index) ? items_[static_cast<std::size_t>(index)].text : std::string();
}

std::string HeadlessComboBox::itemToolTip(int index) const {
    return has(index) ? items_[static_cast<std::size_t>(index)].toolTip : std::string();
}

void HeadlessComboBox::setListIndex(int index) {
    index_ = has(index) ? index : -1;
}

}  // namespace comflash::ui::headless
