// A headless window built from a catalogue entry. Unloading stops its timers and closes its
// serial port, as destroying the controls would; loading again starts every control from its
// initial properties, while the handlers the behaviour code attached stay attached.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "ui/directory_file_list.h"
#include "ui/headless/headless_comm.h"
#include "ui/headless/headless_controls.h"
#include "ui/window.h"

namespace comflash::ui::headless {

class HeadlessToolkit;

class HeadlessWindow : public Window {
  public:
    HeadlessWindow(HeadlessToolkit& toolkit, const WindowEntry& entry);
    ~HeadlessWindow() override;
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    const WindowEntry& entry() const override { return entry_; }
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& text) override { caption_ = text; }
    void show() override;
    void showModal() override;
    void unload() override;
    bool loaded() const override { return loaded_; }

    Button& button(std::string_view name) override { return get<HeadlessButton>(name); }
    Label& label(std::string_view name) override { return get<HeadlessLabel>(name); }
    ProgressBar& progressBar(std::string_view name) override {
        return get<HeadlessProgressBar>(name);
    }
    Timer& timer(std::string_view name) override { return get<HeadlessTimer>(name); }
    FileList& fileList(std::string_view name) override { return get<DirectoryFileList>(name); }
    ComboBox& comboBox(std::string_view name) override { return get<HeadlessComboBox>(name); }
    CommControl& comm(std::string_view name) override { return get<HeadlessComm>(name); }

    // What a test does as the user.
    bool click(std::string_view buttonName) { return get<HeadlessButton>(buttonName).click(); }
    // The close box: unloads the window unless a modal window or message box blocks it.
    bool closeBox();
    HeadlessComm& headlessComm(std::string_view name) { return get<HeadlessComm>(name); }
    HeadlessLabel& headlessLabel(std::string_view name) { return get<HeadlessLabel>(name); }
    HeadlessProgressBar& headlessProgressBar(std::string_view name) {
        return get<HeadlessProgressBar>(name);
    }

    // Loaded, and neither covered by a modal window shown after it nor by a message box.
    bool acceptsInput() const;
    bool modal() const { return modal_; }

  private:
    using Control = std::variant<std::unique_ptr<HeadlessButton>, std::unique_ptr<HeadlessLabel>,
                                 std::unique_ptr<HeadlessProgressBar>,
                                 std::unique_ptr<HeadlessTimer>, std::unique_ptr<DirectoryFileList>,
                                 std::unique_ptr<HeadlessComboBox>, std::unique_ptr<HeadlessComm>>;

    template <typename T>
    T& get(std::string_view name);
    void load();
    void resetControls();

    HeadlessToolkit& toolkit_;
    const WindowEntry& entry_;
    std::string caption_;
    bool loaded_ = false;
    bool modal_ = false;
    std::map<std::string, Control, std::less<>> controls_;
};

}  // namespace comflash::ui::headless
