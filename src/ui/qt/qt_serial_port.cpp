#include "ui/qt/qt_serial_port.h"

#ifndef _WIN32
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>
#include <utility>

#include "ui/qt/low_latency.h"

namespace comflash::ui::qt {

namespace {

#ifndef _WIN32
// Qt's lock file is named after the name the port was opened by, and the driver's exclusive
// mode does not bind root: a second process, through a link or as root, would open the port
// and break the session in it. An advisory lock on the open device binds every process that
// opens it, by whatever name.
bool lockDevice(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// What became of a device that failed while open, in words a user can act on; empty when
// nothing is known beyond what the driver said.
std::string whatHappened(int fd, const std::string& device) {
    struct stat status {};
    if (!device.empty() && ::stat(device.c_str(), &status) != 0 && errno == ENOENT) {
        return "the device went away (unplugged, or its driver removed it)";
    }
    pollfd line{fd, POLLIN, 0};
    if (fd >= 0 && ::poll(&line, 1, 0) == 1 && (line.revents & POLLHUP) != 0) {
        return "the line was hung up (the device closed its end or went away)";
    }
    return {};
}
#endif

QSerialPort::Parity toQtParity(char parity) {
    switch (parity) {
        case 'E':
            return QSerialPort::EvenParity;
        case 'O':
            return QSerialPort::OddParity;
        case 'M':
            return QSerialPort::MarkParity;
        case 'S':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

}  // namespace

QtSerialPort::QtSerialPort(PortDevice portDevice, int number)
    : portDevice_(std::move(portDevice)), number_(number) {
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { received(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError error) { failed(error); });
}

bool QtSerialPort::setLine(const LineSettings& line) {
    if (port_.isOpen() && !apply(line)) return false;
    line_ = line;
    return true;
}

driver::Bytes QtSerialPort::take() {
    takeReceived();
    std::vector<std::uint8_t> taken;
    taken.swap(buffer_);
    return taken;
}

bool QtSerialPort::send(std::span<const std::uint8_t> bytes) {
    if (!port_.isOpen()) return false;
    const auto size = static_cast<qint64>(bytes.size());
    // Hand the bytes to the driver now rather than at the next event-loop turn: a settings
    // change or a pause may follow at once, and the bytes must leave before either.
    if (port_.write(reinterpret_cast<const char*>(bytes.data()), size) == size && port_.flush()) {
        return true;
    }
    // A failure Qt reported has closed the port already; a short write reports nothing.
    if (watching_) fail();
    return false;
}

bool QtSerialPort::open() {
    if (port_.isOpen()) return true;
    buffer_.clear();
    failurePending_ = false;
    const std::string device = number_ >= 1 ? portDevice_(number_) : std::string();
    if (device.empty()) {
        failure_ = {PortFault::Kind::NoDevice, {}, {}};
        return false;
    }
    port_.setPortName(QString::fromStdString(device));
    // On Unix QSerialPort opens the device without blocking (O_NONBLOCK), so a port whose
    // carrier is down opens at once instead of waiting for it; a missing, busy (locked) or
    // non-terminal device fails at once.
    if (!port_.open(QIODevice::ReadWrite)) {
        noteFailure(device);
        return false;
    }
#ifndef _WIN32
    if (!lockDevice(static_cast<int>(port_.handle()))) {
        port_.close();
        failure_ = {PortFault::Kind::Denied, device, std::strerror(EBUSY)};
        return false;
    }
#endif
    if (!apply(line_) || !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        noteFailure(device);
        close();
        return false;
    }
    failure_ = {};
    device_ = device;
    // Low latency where the driver offers it: on a USB adapter each reply otherwise waits up to
    // 16 ms in the driver. Pseudo-terminals and most other drivers refuse; the port works on.
#ifdef __linux__
    lowLatency_ = requestLowLatency(port_.handle());
#else
    lowLatency_ = LowLatency::Unsupported;
#endif
    // Pseudo-terminals and some adapters have no modem lines; the port works without them.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    port_.clearError();
    watching_ = true;
    return true;
}

void QtSerialPort::close() {
    watching_ = false;
    failurePending_ = false;
    if (port_.isOpen()) port_.close();
    buffer_.clear();
}

bool QtSerialPort::apply(const LineSettings& line) {
    return port_.setBaudRate(line.baud) &&
           port_.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)) &&
           port_.setParity(toQtParity(line.parity)) &&
           port_.setStopBits(line.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
}

void QtSerialPort::takeReceived() {
    if (!port_.isOpen()) return;
    const QByteArray bytes = port_.readAll();
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

// QSerialPort raises no readyRead while one of its readyRead handlers runs, and a handler
// that opens a message box runs for as long as the box is open. The receive event therefore
// runs from the event queue instead, so that bytes arriving meanwhile raise it again inside
// the box's event loop.
void QtSerialPort::received() {
    QMetaObject::invokeMethod(
        &port_, [this] { deliver(); }, Qt::QueuedConnection);
}

// Several queued deliveries may find the buffer already taken; only those that find the
// threshold reached raise the event.
void QtSerialPort::deliver() {
    takeReceived();
    if (notifyAt_ <= 0 || buffer_.size() < static_cast<std::size_t>(notifyAt_)) return;
    if (onReceived) onReceived();
}

// A port whose device went away (an unplugged adapter, a hung-up pseudo-terminal) is closed:
// the program then sees it closed and further output fails instead of vanishing, and the
// dead device, which stays readable forever, does not keep the event loop spinning. Errors
// while the program opens or closes the port are its own doing and answered there.
void QtSerialPort::failed(QSerialPort::SerialPortError error) {
    if (watching_ && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError || error == QSerialPort::UnknownError)) {
        fail();
    }
}

// Bytes read before the failure stay buffered for the receive events already queued. The
// failure event is queued behind them, for the reason given at received(); it is dropped if
// the program closes, opens or unloads the port first, since it then concerns a port that
// is no longer there.
void QtSerialPort::fail() {
    noteFailure(device_);
#ifndef _WIN32
    // The driver's words for a vanished device are those of whatever call found it gone
    // ("Inappropriate ioctl for device"); say what happened instead.
    if (std::string happened = whatHappened(static_cast<int>(port_.handle()), device_);
        !happened.empty()) {
        failure_.reason = std::move(happened);
    }
#endif
    takeReceived();
    watching_ = false;
    failurePending_ = true;
    port_.close();
    QMetaObject::invokeMethod(
        &port_,
        [this] {
            if (!std::exchange(failurePending_, false)) return;
            if (onFailed) onFailed();
        },
        Qt::QueuedConnection);
}

// A short write is a failure Qt did not report.
void QtSerialPort::noteFailure(const std::string& device) {
    const auto kind = port_.error() == QSerialPort::DeviceNotFoundError ? PortFault::Kind::NotFound
                      : port_.error() == QSerialPort::PermissionError   ? PortFault::Kind::Denied
                                                                        : PortFault::Kind::Other;
    failure_ = {kind, device, port_.errorString().toStdString()};
}

}  // namespace comflash::ui::qt
