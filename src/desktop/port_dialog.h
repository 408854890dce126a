// The COM port dialog's behaviour. Each time the dialog loads it tries the ports COM1 to
// COM99 in turn with its own serial control, lists those that opened ("COM"n, ascending) and
// selects the port in use; a port in use that is not listed gives way to the first one at
// once, whatever the user does next. OK makes the selected port the one in use and stores its
// number; Cancel and the close box store nothing.
#pragma once

#include <functional>
#include <string>

#include "app/app_state.h"
#include "settings/registry_store.h"
#include "ui/window.h"

namespace comflash::desktop {

class PortDialog {
  public:
    // The device behind port n and what tells it from the others, shown as the tooltip of
    // its entry; an empty text, or the entry's own text, shows none.
    using PortDevice = std::function<std::string(int number)>;

    // window is the COM port dialog (catalogue entry PortDialog); its controls are bound here
    // once and its handlers attached.
    PortDialog(AppState& state, settings::RegistryStore& store, ui::Window& window,
               PortDevice portDevice);
    PortDialog(const PortDialog&) = delete;
    PortDialog& operator=(const PortDialog&) = delete;

  private:
    static constexpr int kLastPort = 99;

    void onLoad();
    void setLanguageTexts();
    void onOkClicked();
    void onCancelClicked();
    void addEntry(int number);
    std::int16_t selectedNumber() const;

    AppState& state_;
    settings::RegistryStore& store_;
    ui::Window& window_;
    ui::Label& labelComPort_;
    ui::ComboBox& comboComPort_;
    ui::Button& commandOk_;
    ui::Button& commandCancel_;
    ui::CommControl& msComm1_;
    PortDevice portDevice_;
};

}  // namespace comflash::desktop
