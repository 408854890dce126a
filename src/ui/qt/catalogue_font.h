// The Qt font for a catalogue font. The catalogue names Windows fonts (SimSun) that a Linux
// desktop rarely has; the families that can draw Simplified Chinese follow as fallbacks so
// that the Chinese texts never turn into empty boxes.
#pragma once

#include <QFont>

#include "ui/catalogue.h"

namespace comflash::ui::qt {

QFont catalogueFont(const Font& font);

}  // namespace comflash::ui::qt
