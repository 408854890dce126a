// Conversion of catalogue geometry (twips) to widget geometry (pixels).
#pragma once

#include <QWidget>

#include "ui/catalogue.h"

namespace comflash::ui::qt {

// Places a control at its catalogue position and size and names it after the control, so
// that it can be found with QObject::findChild.
inline void placeControl(QWidget& widget, const ControlEntry& entry) {
    widget.setObjectName(
        QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size())));
    widget.setGeometry(toPixels(entry.left), toPixels(entry.top), toPixels(entry.width),
                       toPixels(entry.height));
}

}  // namespace comflash::ui::qt
