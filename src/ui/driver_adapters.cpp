#include "ui/driver_adapters.h"

namespace comflash::ui {

ControlPort::ControlPort(std::unique_ptr<CommControl> comm, int number)
    : ControlPort(*comm, number) {
    owned_ = std::move(comm);
}

ControlPort::ControlPort(CommControl& comm, int number) : comm_(comm), number_(number) {
    comm_.onComm = [this] {
        if (comm_.commEvent() == CommControl::kEventPortFailed) {
            if (onFailed) onFailed();
        } else if (comm_.commEvent() == CommControl::kEventReceive) {
            if (onReceived) onReceived();
        }
    };
}

ControlPort::~ControlPort() {
    comm_.onComm = nullptr;
}

bool ControlPort::open() {
    if (comm_.portOpen()) return true;
    comm_.setCommPort(number_);
    comm_.setInputMode(CommControl::kInputModeBinary);
    return comm_.setPortOpen(true);
}

void ControlPort::close() {
    if (comm_.portOpen()) comm_.setPortOpen(false);
}

bool ControlPort::setRate(int baud) {
    return comm_.setSettings(std::to_string(baud) + ",N,8,1");
}

// A control's timer ticks every interval while enabled; the first tick stops it.
ControlTimer::ControlTimer(std::unique_ptr<ui::Timer> timer) : ControlTimer(*timer) {
    owned_ = std::move(timer);
}

ControlTimer::ControlTimer(ui::Timer& timer) : timer_(timer) {
    timer_.onTimer = [this] {
        timer_.setEnabled(false);
        if (onExpired) onExpired();
    };
}

ControlTimer::~ControlTimer() {
    timer_.onTimer = nullptr;
}

void ControlTimer::start(int milliseconds) {
    timer_.setInterval(milliseconds);
    timer_.setEnabled(true);
}

}  // namespace comflash::ui
