// A label: plain text (never rich text), in the catalogue's font where it names one.
#pragma once

#include <QLabel>

#include "ui/catalogue.h"
#include "ui/controls.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::qt {

class QtLabel final : public Label, public ControlAdapter {
  public:
    QtLabel(const ControlEntry& entry, QWidget* window);

    std::string caption() const override;
    void setCaption(const std::string& text) override;

    void load() override;
    QLabel& widget() { return *label_; }

  private:
    const ControlEntry& entry_;
    QLabel* label_;  // owned by the window's widget
};

}  // namespace comflash::ui::qt
