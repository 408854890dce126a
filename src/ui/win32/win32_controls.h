// The native controls of a window: child windows for buttons, labels, the port list and the
// progress bar; a timer on the user-interface thread's message window; and the hidden file
// list, a folder listing with no window.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ui/catalogue.h"
#include "ui/controls.h"
#include "ui/directory_file_list.h"
#include "ui/win32/control_adapter.h"

namespace comflash::ui::win32 {

// Where a control goes and what it is drawn with. Geometry is in pixels at the system's DPI.
struct Placement {
    HWND parent = nullptr;
    int id = 0;
    int dpi = 96;
    HFONT font = nullptr;
};

// Twips to pixels at `dpi` dots per inch (1440 twips to the inch).
constexpr int pixelsAt(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}

std::string windowText(HWND window);

class Win32Button final : public Button, public ControlAdapter {
  public:
    Win32Button(const ControlEntry& entry, const Placement& placement);
    std::string caption() const override { return windowText(button_); }
    void setCaption(const std::string& text) override;
    bool visible() const override;
    void load() override;
    HWND handle() const { return button_; }
    // A click from the window: raised only while the button is visible and its window takes
    // input (no modal window blocks it).
    void clicked();

  private:
    const ControlEntry& entry_;
    HWND button_;
};

class Win32Label final : public Label, public ControlAdapter {
  public:
    Win32Label(const ControlEntry& entry, const Placement& placement);
    std::string caption() const override { return windowText(label_); }
    void setCaption(const std::string& text) override;
    void load() override;

  private:
    const ControlEntry& entry_;
    HWND label_;
};

// The range is kept in steps of 1/10000.
class Win32ProgressBar final : public ProgressBar, public ControlAdapter {
  public:
    Win32ProgressBar(const ControlEntry& entry, const Placement& placement);
    double value() const override { return value_; }
    void setValue(double fraction) override;
    void load() override;

  private:
    const ControlEntry& entry_;
    HWND bar_;
    double value_ = 0;
};

class Win32ComboBox final : public ComboBox, public ControlAdapter {
  public:
    Win32ComboBox(const ControlEntry& entry, const Placement& placement);
    void addItem(const std::string& text) override;
    // Shown as the list's hint while its entry is the selected one.
    void setItemToolTip(int index, const std::string& text) override;
    int listCount() const override;
    std::string list(int index) const override;
    int listIndex() const override;
    void setListIndex(int index) override;
    std::string text() const override;
    void load() override;
    HWND handle() const { return combo_; }
    // The user picked another entry.
    void selectionChanged();

  private:
    void showSelectedToolTip();

    const ControlEntry& entry_;
    HWND combo_;
    HWND toolTip_ = nullptr;
    std::vector<std::string> toolTips_;
};

// Each tick starts the next countdown before the handler runs, so the next tick may come
// inside a message box the handler opens, and the handler may still change or stop the timer.
// SetTimer and KillTimer are each a trip to the system, and a session restarts its time-out
// with every frame, some forty times a second. The timer therefore keeps its own due time and
// leaves the system's timer set: a system tick that comes before the due time (the countdown
// was restarted meanwhile) only sets the system's timer for the rest, and one that comes while
// the timer is off stops the system's timer. A tick is never early; it is late by no more than
// the system's own timers are.
class Win32Timer final : public Timer, public ControlAdapter {
  public:
    Win32Timer();
    ~Win32Timer() override;
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;
    int interval() const override { return interval_; }
    void setInterval(int milliseconds) override;
    bool enabled() const override { return enabled_; }
    // Enabling a timer that already runs leaves its countdown alone.
    void setEnabled(bool on) override;
    void load() override;
    void unload() override;

  private:
    using Clock = std::chrono::steady_clock;

    void apply(bool restart);
    void systemTicked();
    void setSystemTimer(Clock::time_point now, Clock::duration after);

    UINT_PTR number_;
    int interval_ = 0;
    bool enabled_ = true;
    bool loaded_ = false;
    std::optional<Clock::time_point> due_;          // the next tick, while the timer runs
    std::optional<Clock::time_point> systemTimer_;  // the system's next tick, while it is set
};

class Win32FileList final : public DirectoryFileList, public ControlAdapter {
  public:
    void load() override { static_cast<DirectoryFileList&>(*this) = DirectoryFileList(); }
};

}  // namespace comflash::ui::win32
