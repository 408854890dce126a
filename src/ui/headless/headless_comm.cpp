#include "ui/headless/headless_comm.h"

#include "sim/line_end.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::ui::headless {

HeadlessSerialPort::~HeadlessSerialPort() {
    close();
}

bool HeadlessSerialPort::setLine(const LineSettings& line) {
    if (port_ && port_->refuseSettings) return false;
    baud_ = line.baud;
    if (port_ && port_->device) port_->device->setLineRate(baud_);
    return true;
}

bool HeadlessSerialPort::open() {
    if (isOpen()) return true;
    dropInFlight();
    buffer_.clear();
    HeadlessPort* port = toolkit_.port(number_);
    if (!port || port->busy || port->user) {
        fault_ = {!port ? PortFault::Kind::NotFound : PortFault::Kind::Denied,
                  toolkit_.portDevice(number_),
                  {}};
        return false;
    }
    fault_ = {};
    port_ = port;
    port_->user = this;
    if (port_->device) {
        port_->device->lineOpened(toolkit_.clock().now());
        port_->device->setLineRate(baud_);
    }
    return true;
}

void HeadlessSerialPort::close() {
    if (!isOpen()) return;
    dropInFlight();
    buffer_.clear();
    if (port_->device) port_->device->lineClosed(toolkit_.clock().now());
    port_->user = nullptr;
    port_ = nullptr;
}

driver::Bytes HeadlessSerialPort::take() {
    std::vector<std::uint8_t> taken;
    taken.swap(buffer_);
    return taken;
}

bool HeadlessSerialPort::send(std::span<const std::uint8_t> bytes) {
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

void HeadlessSerialPort::deliver(const std::vector<std::uint8_t>& bytes, bool hangup) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (!bytes.empty() && notifyAt_ > 0 && buffer_.size() >= static_cast<std::size_t>(notifyAt_)) {
        if (onReceived) onReceived();
    }
    // A port whose far end hung up closes itself and reports it, as the real ports do: the
    // program sees it closed and its writes fail until it opens the port again.
    if (hangup && port_) {
        close();
        reportFailure();
    }
}

void HeadlessSerialPort::reportFailure() {
    fault_ = {PortFault::Kind::Other, toolkit_.portDevice(number_), "the line was hung up"};
    if (onFailed) onFailed();
}

void HeadlessSerialPort::dropInFlight() {
    for (const auto id : inFlight_) toolkit_.clock().cancel(id);
    inFlight_.clear();
}

HeadlessComm::HeadlessComm(HeadlessToolkit& toolkit)
    : HeadlessComm(toolkit, std::make_unique<HeadlessSerialPort>(toolkit)) {}

HeadlessComm::HeadlessComm(HeadlessToolkit&, std::unique_ptr<HeadlessSerialPort> port)
    : PortControl(std::move(port)), port_(static_cast<HeadlessSerialPort&>(this->port())) {}

}  // namespace comflash::ui::headless
