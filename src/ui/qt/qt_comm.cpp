#include "ui/qt/qt_comm.h"

namespace comflash::ui::qt {

namespace {

// The control's settings until the program changes them.
constexpr const char* kInitialSettings = "9600,n,8,1";

QSerialPort::Parity toQt(LineSettings::Parity parity) {
    switch (parity) {
        case LineSettings::Parity::Even:
            return QSerialPort::EvenParity;
        case LineSettings::Parity::Odd:
            return QSerialPort::OddParity;
        case LineSettings::Parity::Mark:
            return QSerialPort::MarkParity;
        case LineSettings::Parity::Space:
            return QSerialPort::SpaceParity;
        case LineSettings::Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(LineSettings::StopBits stopBits) {
    switch (stopBits) {
        case LineSettings::StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case LineSettings::StopBits::Two:
            return QSerialPort::TwoStop;
        case LineSettings::StopBits::One:
            break;
    }
    return QSerialPort::OneStop;
}

}  // namespace

QtComm::QtComm(PortDevice portDevice) : portDevice_(std::move(portDevice)) {
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { received(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError error) { failed(error); });
    load();
}

bool QtComm::setSettings(const std::string& settings) {
    const auto line = LineSettings::parse(settings);
    if (!line || (port_.isOpen() && !apply(*line))) return false;
    settings_ = settings;
    line_ = *line;
    return true;
}

bool QtComm::setPortOpen(bool open) {
    if (!open) {
        close();
        return true;
    }
    return port_.isOpen() || this->open();
}

std::vector<std::uint8_t> QtComm::input() {
    takeReceived();
    std::vector<std::uint8_t> taken;
    taken.swap(buffer_);
    return taken;
}

bool QtComm::output(std::span<const std::uint8_t> bytes) {
    if (!port_.isOpen()) return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return false;
    // Hand the bytes to the driver now rather than at the next event-loop turn: a settings
    // change or a pause may follow at once, and the bytes must leave before either.
    port_.flush();
    return true;
}

void QtComm::load() {
    close();
    commPort_ = 1;
    settings_ = kInitialSettings;
    line_ = *LineSettings::parse(settings_);
    inputMode_ = kInputModeText;
    rThreshold_ = 0;
    commEvent_ = 0;
}

void QtComm::unload() {
    close();
}

bool QtComm::open() {
    const std::string device = commPort_ >= 1 ? portDevice_(commPort_) : std::string();
    if (device.empty()) return false;
    port_.setPortName(QString::fromStdString(device));
    if (!port_.open(QIODevice::ReadWrite)) return false;
    if (!apply(line_) || !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        close();
        return false;
    }
    // Pseudo-terminals and some adapters have no modem lines; the port works without them.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    port_.clearError();
    return true;
}

void QtComm::close() {
    if (port_.isOpen()) port_.close();
    buffer_.clear();
}

bool QtComm::apply(const LineSettings& line) {
    return port_.setBaudRate(line.baudRate) &&
           port_.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)) &&
           port_.setParity(toQt(line.parity)) && port_.setStopBits(toQt(line.stopBits));
}

void QtComm::takeReceived() {
    const QByteArray bytes = port_.readAll();
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void QtComm::received() {
    takeReceived();
    if (rThreshold_ <= 0 || buffer_.size() < static_cast<std::size_t>(rThreshold_)) return;
    commEvent_ = kEventReceive;
    if (onComm) onComm();
}

// A port whose device went away (an unplugged adapter, a closed pseudo-terminal) is closed,
// so that the program sees it closed and further output fails instead of vanishing.
void QtComm::failed(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ResourceError) close();
}

}  // namespace comflash::ui::qt
