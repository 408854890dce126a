// The headless twin's controls: plain values a test can read and set, and a timer that ticks
// in virtual time.
#pragma once

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/headless/virtual_clock.h"

namespace comflash::ui::headless {

class HeadlessWindow;

class HeadlessButton : public Button {
  public:
    HeadlessButton(const HeadlessWindow& window, std::string caption, bool visible)
        : window_(window), caption_(std::move(caption)), visible_(visible) {}
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    bool visible() const override { return visible_; }
    // A user's click: runs onClick only if the button is visible and its window is loaded and
    // not blocked by a modal window or message box. True when the click reached the handler.
    bool click();

  private:
    const HeadlessWindow& window_;
    std::string caption_;
    bool visible_;
};

class HeadlessLabel : public Label {
  public:
    explicit HeadlessLabel(std::string caption) : caption_(std::move(caption)) {}
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override {
        caption_ = text;
        history_.push_back(text);
    }
    // Back to the initial caption, which the history does not count.
    void reset(std::string text) { caption_ = std::move(text); }
    // Every caption the program set, in order, over all openings of the window.
    const std::vector<std::string>& history() const { return history_; }

  private:
    std::string caption_;
    std::vector<std::string> history_;
};

class HeadlessProgressBar : public ProgressBar {
  public:
    double value() const override { return value_; }
    void setValue(double fraction) override {
        value_ = fraction;
        history_.push_back(fraction);
    }
    void reset() { value_ = 0; }
    // Every value the program set, in order, over all openings of the window.
    const std::vector<double>& history() const { return history_; }

  private:
    double value_ = 0;
    std::vector<double> history_;
};

class HeadlessTimer : public Timer {
  public:
    explicit HeadlessTimer(VirtualClock& clock) : clock_(clock) {}
    ~HeadlessTimer() override { stop(); }
    HeadlessTimer(const HeadlessTimer&) = delete;
    HeadlessTimer& operator=(const HeadlessTimer&) = delete;

    int interval() const override { return interval_; }
    // Setting the interval restarts the countdown.
    void setInterval(int milliseconds) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;

    // With its window: loading starts it enabled with interval 0; an unloaded window's timer
    // never ticks, whatever its handlers set.
    void load();
    void unload();

  private:
    void restart();
    void stop();
    void tick();

    VirtualClock& clock_;
    int interval_ = 0;
    bool enabled_ = true;  // enabled with interval 0: silent until an interval is set
    bool loaded_ = false;
    VirtualClock::EventId pending_ = 0;
};

class HeadlessComboBox : public ComboBox {
  public:
    void addItem(const std::string& text) override { items_.push_back({text, {}}); }
    void setItemToolTip(int index, const std::string& text) override;
    int listCount() const override { return static_cast<int>(items_.size()); }
    std::string list(int index) const override;
    int listIndex() const override { return index_; }
    // An index outside the list selects nothing.
    void setListIndex(int index) override;
    std::string text() const override { return list(index_); }
    // The entry's tooltip; empty when it has none or there is no such entry.
    std::string itemToolTip(int index) const;
    void clear() {
        items_.clear();
        index_ = -1;
    }

  private:
    struct Item {
        std::string text;
        std::string toolTip;
    };
    bool has(int index) const { return index >= 0 && index < listCount(); }

    std::vector<Item> items_;
    int index_ = -1;
};

}  // namespace comflash::ui::headless
