#include "ui/console/console_controls.h"

namespace comflash::ui::console {

void ConsoleProgressBar::setValue(double fraction) {
    value_ = fraction;
    if (shown_) shown_(fraction);
}

std::string ConsoleComboBox::list(int index) const {
    return index >= 0 && index < listCount() ? items_[static_cast<std::size_t>(index)]
                                             : std::string();
}

void ConsoleComboBox::setListIndex(int index) {
    index_ = index >= 0 && index < listCount() ? index : -1;
}

void ConsoleComboBox::load() {
    items_.clear();
    index_ = -1;
}

}  // namespace comflash::ui::console
