// A push button: a QPushButton whose "&" marks the access key, as in the catalogue's texts.
// Space, Enter and the access key press it.
#pragma once

#include <QPushButton>

#include "ui/catalogue.h"
#include "ui/controls.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::qt {

class QtButton final : public Button, public ControlAdapter {
  public:
    QtButton(const ControlEntry& entry, QWidget* window);

    std::string caption() const override;
    void setCaption(const std::string& text) override;
    bool visible() const override;

    void load() override;
    QPushButton& widget() { return *button_; }

  private:
    void clicked();

    const ControlEntry& entry_;
    QPushButton* button_;  // owned by the window's widget
};

}  // namespace comflash::ui::qt
