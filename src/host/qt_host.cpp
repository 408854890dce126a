#include "host/qt_host.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/port_listing.h"
#include "host/port_failure.h"
#include "host/posix_command.h"
#ifdef COMFLASH_DATABASE
#include "cli/station_log_reader.h"
#include "records/postgres_database.h"
#endif
#include "settings/com_port_names.h"
#include "ui/driver_adapters.h"
#include "ui/qt/qt_serial_port.h"
#include "ui/qt/qt_timer.h"

namespace comflash::host {

namespace {

constexpr int kLastProbedPort = 99;  // the ports the window's COM dialog offers

// Signals reach the event loop through a pipe: the handler only writes a byte.
int signalPipe[2] = {-1, -1};

void signalled(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

QtHost::QtHost()
    : portsFolder_(settings::portsFolderFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"))) {
    // A file past the file-size limit is a failed write, said so, not the end of the program.
    ::signal(SIGXFSZ, SIG_IGN);
}

QtHost::~QtHost() = default;

std::ostream& QtHost::out() {
    return std::cout;
}

std::ostream& QtHost::err() {
    return std::cerr;
}

bool QtHost::outIsTerminal() const {
    return ::isatty(STDOUT_FILENO) == 1;
}

std::size_t QtHost::columns() const {
    winsize window{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 ? window.ws_col : 0;
}

bool QtHost::inIsTerminal() const {
    return ::isatty(STDIN_FILENO) == 1;
}

std::string QtHost::programFolder() const {
    return QCoreApplication::applicationDirPath().toStdString();
}

std::string QtHost::deviceOf(const cli::PortArgument& port) const {
    return port.device.empty() ? settings::comPortDevice(port.number, portsFolder_) : port.device;
}

// A link with what it points at.
std::string QtHost::shownDevice(const cli::PortArgument& port) const {
    const std::string device = deviceOf(port);
    std::error_code error;
    if (device.empty()) return "no device";
    if (!std::filesystem::is_symlink(device, error)) return device;
    return device + " -> " + std::filesystem::weakly_canonical(device, error).string();
}

std::string QtHost::resolvedDevice(const std::string& device) const {
    std::error_code error;
    const auto target = std::filesystem::canonical(device, error);
    return error ? device : target.string();
}

std::unique_ptr<driver::SerialPort> QtHost::makePort(const cli::PortArgument& port) {
    // COMn is looked up at each opening, as the window does, so that a link changed meanwhile
    // is followed.
    ui::qt::QtSerialPort::PortDevice device;
    if (port.device.empty()) {
        device = [folder = portsFolder_](int number) {
            return settings::comPortDevice(number, folder);
        };
    } else {
        device = [path = port.device](int) { return path; };
    }
    return std::make_unique<ui::qt::QtSerialPort>(device, port.number);
}

std::unique_ptr<driver::Timer> QtHost::makeTimer() {
    auto timer = std::make_unique<ui::qt::QtTimer>();
    timer->load();
    return std::make_unique<ui::ControlTimer>(std::move(timer));
}

// A port that is not there comes with the ports that are, and the name nearest to it.
std::string QtHost::portFailureLine(const PortFault& fault, const std::string& port) const {
    const std::string line = describePortFailure(fault, port, portsFolder_);
    if (fault.kind == PortFault::Kind::NotFound || fault.kind == PortFault::Kind::NoDevice) {
        return cli::withMissingPortAdvice(line, port, presentPorts());
    }
    return line;
}

cli::PortDescription QtHost::describe(int number, const UsbIdentities& identities) const {
    cli::PortDescription port;
    port.number = number;
    port.device = settings::comPortDevice(number, portsFolder_);
    std::error_code error;
    if (std::filesystem::is_symlink(port.device, error)) {
        port.target = std::filesystem::weakly_canonical(port.device, error).string();
    }
    port.identity = identities.of(port.device);
    return port;
}

std::vector<cli::PortDescription> QtHost::presentPorts() const {
    std::vector<cli::PortDescription> ports;
    const UsbIdentities identities;
    for (int number = 1; number <= kLastProbedPort; ++number) {
        const std::string device = settings::comPortDevice(number, portsFolder_);
        std::error_code error;
        if (device.empty() || !std::filesystem::exists(device, error) ||
            identities.placeholder(device)) {
            continue;
        }
        ports.push_back(describe(number, identities));
    }
    return ports;
}

std::vector<cli::PortDescription> QtHost::openingPorts() {
    std::vector<cli::PortDescription> ports;
    const UsbIdentities identities;
    ui::qt::QtSerialPort probe(
        [this](int number) { return settings::comPortDevice(number, portsFolder_); });
    refused_.clear();
    for (int number = 1; number <= kLastProbedPort; ++number) {
        probe.setNumber(number);
        if (!probe.open()) {
            if (probe.fault().kind == PortFault::Kind::Denied) {
                refused_.push_back("COM" + std::to_string(number) + "  " +
                                   portFailureLine(probe.fault(), "COM" + std::to_string(number)));
            }
            continue;
        }
        probe.close();
        ports.push_back(describe(number, identities));
    }
    return ports;
}

void QtHost::runUntil(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtHost::readLines(std::function<void(const std::optional<std::string>& line)> line) {
    line_ = std::move(line);
    if (input_) return;
    input_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(STDIN_FILENO),
                                               QSocketNotifier::Read);
    QObject::connect(input_.get(), &QSocketNotifier::activated, [this] { typed(); });
}

// Hands over each whole line typed, then, once the input has ended, the rest and the end.
void QtHost::typed() {
    char buffer[256];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (got > 0) pending_.append(buffer, static_cast<std::size_t>(got));
    for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line_) line_(line);
    }
    if (got > 0) return;
    input_->setEnabled(false);
    if (!pending_.empty() && line_) line_(std::exchange(pending_, {}));
    if (line_) line_(std::nullopt);
}

void QtHost::onInterrupt(std::function<void(int count)> interrupted) {
    interrupted_ = std::move(interrupted);
    if (signals_) return;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    signals_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(signalPipe[0]),
                                                 QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        for (ssize_t got = ::read(signalPipe[0], bytes, sizeof bytes); got > 0;
             got = ::read(signalPipe[0], bytes, sizeof bytes)) {
            for (ssize_t i = 0; i < got; ++i) {
                if (interrupted_) interrupted_(++interrupts_);
            }
        }
    });
    struct sigaction action {};
    action.sa_handler = signalled;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

std::unique_ptr<cli::RunningCommand> QtHost::runCommand(
    const std::string& command, const cli::Environment& environment,
    std::function<void(const cli::CommandResult&)> done) {
    return runPosixCommand(command, environment, std::move(done));
}

std::string QtHost::hostName() const {
    return QSysInfo::machineHostName().toStdString();
}

#ifdef COMFLASH_DATABASE
std::unique_ptr<cli::FactoryDatabase> QtHost::openDatabase(const std::string& url,
                                                           const std::string& station,
                                                           const std::string& logPath,
                                                           std::string& why) {
    why = records::urlProblem(url);
    if (!why.empty()) return nullptr;
    // The records of the station's log, those that waited there when it last stopped among
    // them; a log not there yet has none.
    std::error_code error;
    cli::ReadLog log;
    if (std::filesystem::exists(logPath, error)) log = cli::readStationLogFile(logPath);
    // Answers reach the event loop as queued calls on the application.
    auto post = [](std::function<void()> function) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(function),
                                  Qt::QueuedConnection);
    };
    return std::make_unique<records::PostgresDatabase>(url, station, std::move(log), post);
}

cli::StoredRecords QtHost::storeRecords(const std::string& url,
                                        const std::vector<cli::BoardRecord>& records) {
    return records::storeRecords(url, records);
}
#endif

}  // namespace comflash::host
