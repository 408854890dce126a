#include "ui/qt/qt_label.h"

#include "ui/qt/catalogue_font.h"
#include "ui/qt/widget_geometry.h"

namespace comflash::ui::qt {

QtLabel::QtLabel(const ControlEntry& entry, QWidget* window)
    : entry_(entry), label_(new QLabel(window)) {
    placeControl(*label_, entry);
    label_->setTextFormat(Qt::PlainText);
    // Label captions start at the top left and wrap inside the label's box.
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setWordWrap(true);
    if (!entry.font.family.empty()) label_->setFont(catalogueFont(entry.font));
}

std::string QtLabel::caption() const {
    return label_->text().toStdString();
}

void QtLabel::setCaption(const std::string& text) {
    label_->setText(QString::fromStdString(text));
}

void QtLabel::load() {
    setCaption(std::string(entry_.text));
    label_->setVisible(entry_.visible);
}

}  // namespace comflash::ui::qt
