#include "ui/qt/qt_label.h"

#include "ui/qt/catalogue_font.h"
#include "ui/qt/widget_geometry.h"

namespace comflash::ui::qt {

QtLabel::QtLabel(const ControlSpec& spec, QWidget* window)
    : spec_(spec), label_(new QLabel(window)) {
    placeControl(*label_, spec);
    label_->setTextFormat(Qt::PlainText);
    // Label captions start at the top left and wrap inside the label's box.
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setWordWrap(true);
    if (!spec.font.family.empty()) label_->setFont(catalogueFont(spec.font));
}

std::string QtLabel::caption() const {
    return label_->text().toStdString();
}

void QtLabel::setCaption(const std::string& text) {
    label_->setText(QString::fromStdString(text));
}

void QtLabel::load() {
    setCaption(std::string(spec_.text));
    label_->setVisible(spec_.visible);
}

}  // namespace comflash::ui::qt
