#include "ui/qt/qt_button.h"

#include <QApplication>

#include "ui/qt/widget_geometry.h"

namespace comflash::ui::qt {

QtButton::QtButton(const ControlEntry& entry, QWidget* window)
    : entry_(entry), button_(new QPushButton(window)) {
    placeControl(*button_, entry);
    // Enter presses the focused button, as Space does. QPushButton takes Enter only when it
    // may act as a default button, which outside a QDialog it does just while it has the
    // focus (and is then drawn as the default, as the focused button is on Windows).
    button_->setAutoDefault(true);
    QObject::connect(button_, &QPushButton::clicked, [this] { clicked(); });
}

std::string QtButton::caption() const {
    return button_->text().toStdString();
}

void QtButton::setCaption(const std::string& text) {
    button_->setText(QString::fromStdString(text));
}

bool QtButton::visible() const {
    return !button_->isHidden();
}

void QtButton::load() {
    setCaption(std::string(entry_.text));
    button_->setVisible(entry_.visible);
}

// Qt already keeps hidden and modally blocked buttons from the user; the check repeats it
// for clicks made in code (QAbstractButton::click), which bypass both.
void QtButton::clicked() {
    const QWidget* modal = QApplication::activeModalWidget();
    if (!button_->isVisible() || (modal != nullptr && modal != button_->window())) return;
    if (onClick) onClick();
}

}  // namespace comflash::ui::qt
