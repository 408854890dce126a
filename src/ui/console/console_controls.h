// The controls of a console window that have nothing to show: they hold their values, start
// from the catalogue's at every load, and a progress bar passes each value it is given on to
// the front end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/catalogue.h"
#include "ui/controls.h"
#include "ui/qt/control_adapter.h"

namespace comflash::ui::console {

class ConsoleButton final : public Button, public qt::ControlAdapter {
  public:
    explicit ConsoleButton(const ControlEntry& entry) : entry_(entry) {}
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    bool visible() const override { return entry_.visible; }
    void load() override { caption_ = std::string(entry_.text); }

  private:
    const ControlEntry& entry_;
    std::string caption_;
};

class ConsoleLabel final : public Label, public qt::ControlAdapter {
  public:
    explicit ConsoleLabel(const ControlEntry& entry) : entry_(entry) {}
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    void load() override { caption_ = std::string(entry_.text); }

  private:
    const ControlEntry& entry_;
    std::string caption_;
};

class ConsoleProgressBar final : public ProgressBar, public qt::ControlAdapter {
  public:
    explicit ConsoleProgressBar(std::function<void(double)> shown) : shown_(std::move(shown)) {}
    double value() const override { return value_; }
    void setValue(double fraction) override;
    void load() override { value_ = 0; }

  private:
    std::function<void(double)> shown_;
    double value_ = 0;
};

class ConsoleComboBox final : public ComboBox, public qt::ControlAdapter {
  public:
    void addItem(const std::string& text) override { items_.push_back(text); }
    int listCount() const override { return static_cast<int>(items_.size()); }
    std::string list(int index) const override;
    int listIndex() const override { return index_; }
    // An index outside the list selects nothing.
    void setListIndex(int index) override;
    std::string text() const override { return list(index_); }
    // A list nobody sees shows no tooltips.
    void setItemToolTip(int, const std::string&) override {}
    void load() override;

  private:
    std::vector<std::string> items_;
    int index_ = -1;
};

}  // namespace comflash::ui::console
