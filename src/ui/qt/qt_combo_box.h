// A list-style drop-down: a non-editable QComboBox that selects nothing until told to. An
// entry's tooltip shows in the open list, and the closed list shows the selected entry's.
#pragma once

#include <QComboBox>

#include "ui/catalogue.h"
#include "ui/controls.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::qt {

class QtComboBox final : public ComboBox, public ControlAdapter {
  public:
    QtComboBox(const ControlEntry& entry, QWidget* window);

    void addItem(const std::string& text) override;
    void setItemToolTip(int index, const std::string& text) override;
    int listCount() const override { return combo_->count(); }
    std::string list(int index) const override;
    int listIndex() const override { return combo_->currentIndex(); }
    // An index outside the list selects nothing.
    void setListIndex(int index) override;
    std::string text() const override;

    void load() override;
    QComboBox& widget() { return *combo_; }

  private:
    const ControlEntry& entry_;
    QComboBox* combo_;  // owned by the window's widget
};

}  // namespace comflash::ui::qt
