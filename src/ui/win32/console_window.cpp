#include "ui/win32/console_window.h"

#include <stdexcept>
#include <vector>

#include "ui/win32/console_toolkit.h"
#include "ui/win32/win32_comm.h"
#include "ui/win32/win32_controls.h"
// The system's MessageBox macro would rename the toolkit's message box type.
#undef MessageBox

namespace comflash::ui::win32 {

namespace {

class HeldButton final : public Button, public ControlAdapter {
  public:
    explicit HeldButton(const ControlEntry& entry) : entry_(entry) { load(); }
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    bool visible() const override { return entry_.visible; }
    void load() override { caption_ = std::string(entry_.text); }

  private:
    const ControlEntry& entry_;
    std::string caption_;
};

class HeldLabel final : public Label, public ControlAdapter {
  public:
    explicit HeldLabel(const ControlEntry& entry) : entry_(entry) { load(); }
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    void load() override { caption_ = std::string(entry_.text); }

  private:
    const ControlEntry& entry_;
    std::string caption_;
};

class PassedProgressBar final : public ProgressBar, public ControlAdapter {
  public:
    explicit PassedProgressBar(std::function<void(double)> shown) : shown_(std::move(shown)) {}
    double value() const override { return value_; }
    void setValue(double fraction) override {
        value_ = fraction;
        if (shown_) shown_(fraction);
    }
    void load() override { value_ = 0; }

  private:
    std::function<void(double)> shown_;
    double value_ = 0;
};

class HeldComboBox final : public ComboBox, public ControlAdapter {
  public:
    void addItem(const std::string& text) override { items_.push_back(text); }
    int listCount() const override { return static_cast<int>(items_.size()); }
    std::string list(int index) const override {
        return index >= 0 && index < listCount() ? items_[static_cast<std::size_t>(index)]
                                                 : std::string();
    }
    int listIndex() const override { return index_; }
    // An index outside the list selects nothing.
    void setListIndex(int index) override {
        index_ = index >= 0 && index < listCount() ? index : -1;
    }
    std::string text() const override { return list(index_); }
    void setItemToolTip(int, const std::string&) override {}
    void load() override {
        items_.clear();
        index_ = -1;
    }

  private:
    std::vector<std::string> items_;
    int index_ = -1;
};

// The serial control as the session sees it: port number n is the n-th port the user named,
// which opens the system's port the toolkit maps it to.
class NamedPortComm final : public CommControl, public ControlAdapter {
  public:
    explicit NamedPortComm(const ConsoleToolkit& toolkit) : toolkit_(toolkit) {
        port_.onComm = [this] {
            if (onComm) onComm();
        };
        load();
    }
    int commPort() const override { return number_; }
    void setCommPort(int number) override {
        number_ = number;
        port_.setCommPort(toolkit_.portNumber(number));
    }
    std::string settings() const override { return port_.settings(); }
    bool setSettings(const std::string& settings) override { return port_.setSettings(settings); }
    bool portOpen() const override { return port_.portOpen(); }
    bool setPortOpen(bool open) override { return port_.setPortOpen(open); }
    int inputMode() const override { return port_.inputMode(); }
    void setInputMode(int mode) override { port_.setInputMode(mode); }
    int rThreshold() const override { return port_.rThreshold(); }
    void setRThreshold(int count) override { port_.setRThreshold(count); }
    std::vector<std::uint8_t> input() override { return port_.input(); }
    bool output(std::span<const std::uint8_t> bytes) override { return port_.output(bytes); }
    int commEvent() const override { return port_.commEvent(); }
    PortFault lastFailure() const override { return port_.lastFailure(); }
    void load() override {
        port_.load();
        setCommPort(port_.commPort());
    }
    void unload() override { port_.unload(); }

  private:
    const ConsoleToolkit& toolkit_;
    Win32Comm port_;
    int number_ = 1;
};

}  // namespace

ConsoleWindow::ConsoleWindow(const WindowEntry& entry, ConsoleToolkit& toolkit,
                             std::function<void(double)> progressShown)
    : entry_(entry), toolkit_(toolkit), caption_(entry.caption) {
    for (const ControlEntry& control : entry.controls) {
        std::unique_ptr<ControlAdapter> adapter;
        switch (control.kind) {
            case ControlKind::Button:
                adapter = std::make_unique<HeldButton>(control);
                break;
            case ControlKind::Label:
                adapter = std::make_unique<HeldLabel>(control);
                break;
            case ControlKind::ProgressBar:
                adapter = std::make_unique<PassedProgressBar>(progressShown);
                break;
            case ControlKind::ComboBox:
                adapter = std::make_unique<HeldComboBox>();
                break;
            case ControlKind::Timer:
                adapter = std::make_unique<Win32Timer>();
                break;
            case ControlKind::Comm:
                adapter = std::make_unique<NamedPortComm>(toolkit);
                break;
            case ControlKind::FileList:
                adapter = std::make_unique<Win32FileList>();
                break;
        }
        adapter->load();
        controls_.emplace(control.name, std::move(adapter));
    }
    toolkit_.added(*this);
}

ConsoleWindow::~ConsoleWindow() {
    toolkit_.removed(*this);
    // The serial readers and timers stop before anything they report to goes.
    controls_.clear();
}

void ConsoleWindow::showModal() {
    if (load()) toolkit_.runUntil([this] { return !loaded_; });
}

void ConsoleWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    if (onUnload) onUnload();
    for (auto& [name, control] : controls_) control->unload();
}

void ConsoleWindow::closePorts() {
    for (const ControlEntry& control : entry_.controls) {
        if (control.kind == ControlKind::Comm) controls_.at(control.name)->unload();
    }
}

bool ConsoleWindow::load() {
    if (loaded_) return true;
    loaded_ = true;
    caption_ = std::string(entry_.caption);
    for (auto& [name, control] : controls_) control->load();
    if (onLoad) onLoad();
    return loaded_;
}

template <typename Control>
Control& ConsoleWindow::find(std::string_view name, ControlKind kind) {
    const ControlEntry* control = entry_.find(name);
    const auto found = controls_.find(name);
    Control* typed = control != nullptr && control->kind == kind && found != controls_.end()
                         ? dynamic_cast<Control*>(found->second.get())
                         : nullptr;
    if (typed == nullptr) {
        throw std::invalid_argument("window " + std::string(entry_.name) +
                                    " has no such control: " + std::string(name));
    }
    return *typed;
}

Button& ConsoleWindow::button(std::string_view name) {
    return find<HeldButton>(name, ControlKind::Button);
}

Label& ConsoleWindow::label(std::string_view name) {
    return find<HeldLabel>(name, ControlKind::Label);
}

ProgressBar& ConsoleWindow::progressBar(std::string_view name) {
    return find<PassedProgressBar>(name, ControlKind::ProgressBar);
}

Timer& ConsoleWindow::timer(std::string_view name) {
    return find<Win32Timer>(name, ControlKind::Timer);
}

FileList& ConsoleWindow::fileList(std::string_view name) {
    return find<Win32FileList>(name, ControlKind::FileList);
}

ComboBox& ConsoleWindow::comboBox(std::string_view name) {
    return find<HeldComboBox>(name, ControlKind::ComboBox);
}

CommControl& ConsoleWindow::comm(std::string_view name) {
    return find<NamedPortComm>(name, ControlKind::Comm);
}

}  // namespace comflash::ui::win32
