#include "ui/port_control.h"

namespace comflash::ui {

namespace {

// The control's settings until the program changes them.
constexpr const char* kInitialSettings = "9600,n,8,1";

}  // namespace

PortControl::PortControl(std::unique_ptr<LinePort> port) : port_(std::move(port)) {
    port_->onReceived = [this] {
        commEvent_ = kEventReceive;
        if (onComm) onComm();
    };
    port_->onFailed = [this] {
        commEvent_ = kEventPortFailed;
        if (onComm) onComm();
    };
    reset();
}

PortControl::~PortControl() {
    port_->onReceived = nullptr;
    port_->onFailed = nullptr;
}

bool PortControl::setSettings(const std::string& settings) {
    const auto line = parseLineSettings(settings);
    if (!line || !port_->setLine(*line)) return false;
    settings_ = settings;
    return true;
}

bool PortControl::setPortOpen(bool open) {
    if (open) return port_->open();
    port_->close();
    return true;
}

void PortControl::setRThreshold(int count) {
    rThreshold_ = count;
    port_->notifyAt(count);
}

void PortControl::reset() {
    port_->close();
    port_->setNumber(1);
    settings_ = kInitialSettings;
    port_->setLine(*parseLineSettings(settings_));
    inputMode_ = kInputModeText;
    setRThreshold(0);
    commEvent_ = 0;
}

}  // namespace comflash::ui
