#include "ui/headless/headless_comm.h"

#include "sim/line_end.h"
#include "ui/headless/headless_toolkit.h"
#include "ui/line_settings.h"

namespace comflash::ui::headless {

HeadlessComm::~HeadlessComm() {
    setPortOpen(false);
}

bool HeadlessComm::setSettings(const std::string& settings) {
    const auto parsed = parseLineSettings(settings);
    if (!parsed || (port_ && port_->refuseSettings)) return false;
    settings_ = settings;
    baud_ = parsed->baud;
    if (port_ && port_->device) port_->device->setLineRate(baud_);
    return true;
}

bool HeadlessComm::setPortOpen(bool open) {
    if (open == portOpen()) return true;
    dropInFlight();
    buffer_.clear();
    if (!open) {
        if (port_->device) port_->device->lineClosed(toolkit_.clock().now());
        port_->user = nullptr;
        port_ = nullptr;
        return true;
    }
    HeadlessPort* port = toolkit_.port(commPort_);
    if (!port || port->busy || port->user) return false;
    port_ = port;
    port_->user = this;
    if (port_->device) {
        port_->device->lineOpened(toolkit_.clock().now());
        port_->device->setLineRate(baud_);
    }
    return true;
}

std::vector<std::uint8_t> HeadlessComm::input() {
    std::vector<std::uint8_t> taken;
    taken.swap(buffer_);
    return taken;
}

bool HeadlessComm::output(std::span<const std::uint8_t> bytes) {
    if (!port_) return false;
    VirtualClock& clock = toolkit_.clock();
    transmissions_.push_back({{bytes.begin(), bytes.end()}, baud_, clock.now()});
    if (!port_->device) return true;  // nothing at the far end: the bytes are lost
    for (auto& emission : port_->device->receive(bytes, clock.now())) {
        inFlight_.push_back(
            clock.schedule(emission.due, [this, bytes = std::move(emission.bytes),
                                          hangup = emission.hangup] { deliver(bytes, hangup); }));
    }
    return true;
}

void HeadlessComm::deliver(const std::vector<std::uint8_t>& bytes, bool hangup) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (!bytes.empty() && rThreshold_ > 0 &&
        buffer_.size() >= static_cast<std::size_t>(rThreshold_)) {
        commEvent_ = kEventReceive;
        if (onComm) onComm();
    }
    // A port whose far end hung up closes itself and reports it, as the real control's does:
    // the program sees it closed and its writes fail until it opens the port again.
    if (hangup && port_) {
        setPortOpen(false);
        reportFailure();
    }
}

void HeadlessComm::reportFailure() {
    commEvent_ = kEventPortFailed;
    if (onComm) onComm();
}

void HeadlessComm::dropInFlight() {
    for (const auto id : inFlight_) toolkit_.clock().cancel(id);
    inFlight_.clear();
}

void HeadlessComm::reset() {
    setPortOpen(false);
    commPort_ = 1;
    settings_ = "9600,n,8,1";
    baud_ = 9600;
    inputMode_ = kInputModeText;
    rThreshold_ = 0;
    commEvent_ = 0;
}

}  // namespace comflash::ui::headless
