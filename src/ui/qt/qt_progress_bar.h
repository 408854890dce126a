// A progress bar over the fraction 0 to 1, drawn without a percentage text.
#pragma once

#include <QProgressBar>

#include "ui/catalogue.h"
#include "ui/controls.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::qt {

class QtProgressBar final : public ProgressBar, public ControlAdapter {
  public:
    QtProgressBar(const ControlEntry& entry, QWidget* window);

    double value() const override { return value_; }
    void setValue(double fraction) override;

    void load() override;
    QProgressBar& widget() { return *bar_; }

  private:
    const ControlEntry& entry_;
    QProgressBar* bar_;  // owned by the window's widget
    double value_ = 0;
};

}  // namespace comflash::ui::qt
