// Conversion of catalogue geometry (twips) to widget geometry (pixels).
#pragma once

#include <QWidget>

#include "ui/catalogue.h"

namespace comflash::ui::qt {

// Places a control at its catalogue position and size and names it after the control, so
// that it can be found with QObject::findChild.
inline void placeControl(QWidget& widget, const ControlSpec& spec) {
    widget.setObjectName(
        QString::fromUtf8(spec.name.data(), static_cast<qsizetype>(spec.name.size())));
    widget.setGeometry(toPixels(spec.left), toPixels(spec.top), toPixels(spec.width),
                       toPixels(spec.height));
}

}  // namespace comflash::ui::qt
