#include "desktop/port_dialog.h"

#include <string_view>
#include <utility>

#include "app/conversions.h"

namespace comflash::desktop {

using namespace settings;

namespace {

constexpr std::string_view kEntryPrefix = "COM";

}  // namespace

PortDialog::PortDialog(AppState& state, settings::RegistryStore& store, ui::Window& window,
                       PortDevice portDevice)
    : state_(state),
      store_(store),
      window_(window),
      labelComPort_(window.label("LabelComPort")),
      comboComPort_(window.comboBox("ComboComPort")),
      commandOk_(window.button("CommandOk")),
      commandCancel_(window.button("CommandCancel")),
      msComm1_(window.comm("MSComm1")),
      portDevice_(std::move(portDevice)) {
    window_.onLoad = [this] { onLoad(); };
    commandOk_.onClick = [this] { onOkClicked(); };
    commandCancel_.onClick = [this] { onCancelClicked(); };
}

// Each try opens the port with the control's settings and closes it again at once, so every
// port is closed when the list shows. The window's load leaves the control closed and closing
// always succeeds, so every try starts from a closed port.
void PortDialog::onLoad() {
    setLanguageTexts();
    std::int16_t listedCount = 0;
    bool currentFound = false;
    std::int16_t currentPosition = 0;
    for (int number = 1; number <= kLastPort; ++number) {
        msComm1_.setCommPort(number);
        if (!msComm1_.setPortOpen(true)) continue;  // missing, busy or unusable: not listed
        msComm1_.setPortOpen(false);
        addEntry(number);
        ++listedCount;
        if (number == state_.ComPortNumber) {
            currentFound = true;
            currentPosition = listedCount;
        }
    }
    if (listedCount == 0) return;
    if (currentFound) {
        comboComPort_.setListIndex(currentPosition - 1);
    } else {
        comboComPort_.setListIndex(0);
        state_.ComPortNumber = selectedNumber();
    }
}

void PortDialog::setLanguageTexts() {
    const bool english = state_.UseEnglish;
    window_.setCaption(english ? "Set COM" : "串口设置");
    labelComPort_.setCaption(english ? "Comm Port" : "串口");
    commandOk_.setCaption(english ? "&OK" : "确定(&O)");
    commandCancel_.setCaption(english ? "&Cancel" : "取消(&C)");
}

// With no port listed there is nothing to take over: the dialog just closes.
void PortDialog::onOkClicked() {
    if (comboComPort_.listIndex() >= 0) {
        state_.ComPortNumber = selectedNumber();
        store_.WriteRegValue(RootKey::LocalMachine, state_.RegistryKeyPath,
                             std::string(kComPortValue), std::to_string(state_.ComPortNumber));
    }
    window_.unload();
}

void PortDialog::onCancelClicked() {
    window_.unload();
}

void PortDialog::addEntry(int number) {
    const std::string text = std::string(kEntryPrefix) + std::to_string(number);
    comboComPort_.addItem(text);
    const std::string device = portDevice_ ? portDevice_(number) : std::string();
    if (!device.empty() && device != text) {
        comboComPort_.setItemToolTip(comboComPort_.listCount() - 1, device);
    }
}

// The number in the selected entry's text, after "COM"; an entry must be selected.
std::int16_t PortDialog::selectedNumber() const {
    const std::string text = comboComPort_.text();
    return app::leadingNumberToInt16(std::string_view(text).substr(kEntryPrefix.size()))
        .value_or(0);
}

}  // namespace comflash::desktop
