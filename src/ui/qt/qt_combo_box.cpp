#include "ui/qt/qt_combo_box.h"

#include "ui/qt/widget_geometry.h"

namespace comflash::ui::qt {

namespace {

void showSelectedToolTip(QComboBox& combo) {
    combo.setToolTip(combo.currentData(Qt::ToolTipRole).toString());
}

}  // namespace

QtComboBox::QtComboBox(const ControlEntry& entry, QWidget* window)
    : entry_(entry), combo_(new QComboBox(window)) {
    placeControl(*combo_, entry);
    combo_->setEditable(false);
    QObject::connect(combo_, &QComboBox::currentIndexChanged, combo_,
                     [combo = combo_] { showSelectedToolTip(*combo); });
}

// QComboBox selects the first entry added to an empty list; a drop-down list must not
// select anything by itself, so the empty selection is put back.
void QtComboBox::addItem(const std::string& text) {
    const int selected = combo_->currentIndex();
    combo_->addItem(QString::fromStdString(text));
    if (selected < 0) combo_->setCurrentIndex(-1);
}

void QtComboBox::setItemToolTip(int index, const std::string& text) {
    combo_->setItemData(index, QString::fromStdString(text), Qt::ToolTipRole);
    if (index == combo_->currentIndex()) showSelectedToolTip(*combo_);
}

std::string QtComboBox::list(int index) const {
    return combo_->itemText(index).toStdString();
}

void QtComboBox::setListIndex(int index) {
    combo_->setCurrentIndex(index >= 0 && index < combo_->count() ? index : -1);
}

std::string QtComboBox::text() const {
    return combo_->currentIndex() < 0 ? std::string() : combo_->currentText().toStdString();
}

void QtComboBox::load() {
    combo_->clear();
    combo_->setCurrentIndex(-1);
    combo_->setVisible(entry_.visible);
}

}  // namespace comflash::ui::qt
