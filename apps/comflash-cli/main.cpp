// comflash-cli: the update and read-back sessions from the command line, with no window. The
// same session code as the window runs on the console toolkit: Qt's event loop, serial ports
// and timers, message boxes printed as lines. See command_line.h for the commands.
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

#include "cli/console.h"
#include "cli/firmware_warnings.h"
#include "cli/line_display.h"
#include "cli/port_argument.h"
#include "cli/production_run.h"
#include "cli/run_setup.h"
#include "cli/session_runner.h"
#include "cli/station.h"
#include "cli/station_log.h"
#include "command_line.h"
#include "desktop/update_command.h"
#include "image/sha256.h"
#include "settings/com_port_names.h"
#include "ui/console/console_toolkit.h"
#include "ui/console/port_failure.h"
#include "ui/directory_file_list.h"

namespace comflash::cli {
namespace {

constexpr int kLastProbedPort = 99;  // the ports the window's COM dialog offers

std::string programFolder() {
    return QCoreApplication::applicationDirPath().toStdString();
}

std::string portsFolder() {
    return settings::portsFolderFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

ui::qt::QtComm::PortDevice comPortDevices(const std::string& folder) {
    // Read at each opening, as the window does, so that a link changed meanwhile is followed.
    return [folder](int number) { return settings::comPortDevice(number, folder); };
}

// How a port's device is shown: a link with what it points at.
std::string shownDevice(const std::string& device) {
    std::error_code error;
    if (device.empty()) return "no device";
    if (!std::filesystem::is_symlink(device, error)) return device;
    return device + " -> " + std::filesystem::weakly_canonical(device, error).string();
}

int listPorts() {
    const std::string folder = portsFolder();
    ui::qt::QtComm comm(comPortDevices(folder));
    int found = 0;
    for (int number = 1; number <= kLastProbedPort; ++number) {
        comm.setCommPort(number);
        if (!comm.setPortOpen(true)) continue;
        comm.setPortOpen(false);
        std::cout << "COM" << number << "  " << shownDevice(settings::comPortDevice(number, folder))
                  << '\n';
        ++found;
    }
    if (found == 0) std::cerr << "No port from COM1 to COM" << kLastProbedPort << " opens.\n";
    return kExitSucceeded;
}

// One update session per port, all at once: the firmware file is read once, then every
// session runs on the one event loop with its own state. Ends with a table of the results.
int runLine(const Request& request) {
    const bool outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    // Nobody is asked anything: the prompt is answered from --retries.
    Console console(std::cout, std::cerr, outIsTerminal, false, request.retries);
    const std::string folder = portsFolder();
    std::vector<PortArgument> ports;
    AppState state;
    if (const std::string why = settleRun(request, folder, programFolder(), ports, state);
        !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }

    // Session i opens port number i + 1, which stands for the i-th port named.
    const auto devices = [ports, folder](int number) {
        if (number < 1 || static_cast<std::size_t>(number) > ports.size()) return std::string();
        return deviceOf(ports[static_cast<std::size_t>(number) - 1], folder);
    };
    ui::console::ConsoleToolkit toolkit(
        devices,
        {[&](const ui::MessageBox& box) { return console.show(box); },
         [](const std::optional<std::string>&) { return std::optional(ui::Answer::Cancel); },
         [](double) {}},
        STDIN_FILENO);
    if (!loadForPorts(request, ports.size(), state, toolkit, console)) return kExitBadInput;

    const auto start = std::chrono::steady_clock::now();
    ProductionRun run(state, toolkit, request.ports, request.retries, [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    });
    winsize window{};
    const bool sized = outIsTerminal && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0;
    run.verifyWrites(request.verify);
    LineDisplay display(outIsTerminal, sized ? window.ws_col : 0);
    const auto show = [&] { std::cout << display.update(run.status()) << std::flush; };
    QTimer refresh;
    refresh.setInterval(outIsTerminal ? 200 : 100);
    QObject::connect(&refresh, &QTimer::timeout, show);
    QEventLoop loop;
    run.onEnded = [&loop] { loop.quit(); };
    run.start();
    show();
    if (!run.ended()) {
        refresh.start();
        loop.exec();
        refresh.stop();
    }
    show();
    std::cout << '\n' << LineDisplay::summary(run.status()) << std::flush;
    const std::vector<PortStatus> ended = run.status();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string line =
            ui::console::describePortFailure(ended[i].outcome.fault, request.ports[i], folder);
        if (!line.empty()) console.warn(line);
    }
    return run.exitStatus();
}

volatile std::sig_atomic_t stopRequests = 0;

// The production station: sessions board after board on every port until Ctrl-C (the first
// lets boards in progress finish, the second stops at once).
int runStation(const Request& request) {
    const bool outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    Console console(std::cout, std::cerr, outIsTerminal, false, request.retries);
    const std::string folder = portsFolder();
    std::vector<PortArgument> ports;
    AppState state;
    if (const std::string why = settleRun(request, folder, programFolder(), ports, state);
        !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }
    std::vector<std::string> devices;
    for (const PortArgument& port : ports) devices.push_back(deviceOf(port, folder));
    std::vector<std::string> shown;  // for the records: a link with what it points at
    for (const std::string& device : devices) shown.push_back(shownDevice(device));
    const auto deviceOfNumber = [devices](int number) {
        if (number < 1 || static_cast<std::size_t>(number) > devices.size()) return std::string();
        return devices[static_cast<std::size_t>(number) - 1];
    };
    ui::console::ConsoleToolkit toolkit(
        deviceOfNumber,
        {[&](const ui::MessageBox& box) { return console.show(box); },
         [](const std::optional<std::string>&) { return std::optional(ui::Answer::Cancel); },
         [](double) {}},
        STDIN_FILENO);
    ui::DirectoryFileList unusedFileList;
    desktop::UpdateCommand loader(state, toolkit, unusedFileList, std::string(), [] {});
    std::ifstream file(request.file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    if (loader.Load(request.file) || !file) {
        console.warn(fileReason(request.file));
        return kExitBadInput;
    }
    StationLog log;
    if (const std::string why = log.open(request.log); !why.empty()) {
        console.warn("--log " + why + "; no board was started");
        return kExitBadInput;
    }
    BoardRecord blank;
    blank.firmware = std::filesystem::path(request.file).filename().string();
    blank.sha256 = image::sha256Hex(bytes);
    blank.model = modelText(state);
    blank.version = std::to_string(state.FirmwareMajor) + "." + std::to_string(state.FirmwareMinor);
    console.info("Station: " + firmwareText(request.file, state) + " to model " + blank.model +
                 " on " + std::to_string(ports.size()) + " ports; records to " + request.log +
                 ". Ctrl-C stops after the boards in progress, twice at once.");

    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    };
    Station station(
        state, toolkit, request.ports, devices, request.retries, blank, elapsed,
        [] { return std::chrono::system_clock::now(); },
        [&log](const BoardRecord& record) { return log.append(record); });
    station.verifyWrites(request.verify);
    StationDisplay display(outIsTerminal);
    station.onEvent = [&](const std::string& line) {
        if (!outIsTerminal) std::cout << line << std::endl;
    };
    struct sigaction action {};
    action.sa_handler = [](int) { stopRequests = stopRequests + 1; };
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGXFSZ, SIG_IGN);  // a log past the file-size limit is a failed write, said so
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(100);
    std::sig_atomic_t handled = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (stopRequests > handled) {
            handled = stopRequests;
            console.info(handled == 1 ? "Stopping after the boards in progress." : "Stopping now.");
            handled == 1 ? station.stop() : station.stopNow();
        }
        std::cout << display.update(station.status(), elapsed()) << std::flush;
    });
    station.onEnded = [&loop] { loop.quit(); };
    station.start();
    if (!station.ended()) {
        poll.start();
        loop.exec();
    }
    // On a terminal the totals are the last line drawn.
    std::cout << display.update(station.status(), elapsed())
              << (outIsTerminal ? "" : StationDisplay::totals(station.status(), elapsed()) + "\n")
              << std::flush;
    if (!station.failure().empty()) console.warn("The log failed: " + station.failure());
    return station.exitStatus();
}

int runSession(const Request& request) {
    if (request.command == Command::Write && request.ports.size() > 1) return runLine(request);
    if (request.command == Command::Station) return runStation(request);
    const bool outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    const bool inIsTerminal = ::isatty(STDIN_FILENO) == 1;
    Console console(std::cout, std::cerr, outIsTerminal, inIsTerminal, request.retries);

    const PortArgument port = parsePortArgument(request.port);
    if (!port.failure.empty()) {
        console.warn("--port: " + port.failure);
        return kExitBadInput;
    }
    AppState state;
    if (const std::string why = settleOnePort(request, programFolder(), port.number, state);
        !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }

    const std::string folder = portsFolder();
    const std::string device = port.device;
    const auto devices = device.empty() ? comPortDevices(folder) : [device](int) { return device; };
    const SessionRunner* running = nullptr;  // set once the runner is made
    const auto start = std::chrono::steady_clock::now();
    ui::console::ConsoleToolkit toolkit(
        devices,
        {[&](const ui::MessageBox& box) { return console.show(box); },
         [&](const std::optional<std::string>& line) { return console.reply(line); },
         [&](double fraction) {
             const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now() - start);
             console.progress(
                 fraction, state.ImageEnd - state.ImageStart + 1, now,
                 running != nullptr && running->step() == session::Session::Step::Verify);
         }},
        STDIN_FILENO);
    SessionRunner runner(state, toolkit);
    running = &runner;
    runner.verifyWrites(request.verify);
    const std::string portName = device.empty() ? request.port : device;
    const std::string portShown =
        device.empty() ? request.port + " (" + shownDevice(devices(port.number)) + ")" : device;
    return runOnePort(request, portShown, state, runner, console, [&](const PortFault& fault) {
        return ui::console::describePortFailure(fault, portName, folder);
    });
}

}  // namespace
}  // namespace comflash::cli

int main(int argc, char** argv) {
    using namespace comflash::cli;
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("comflash-cli");
    QCoreApplication::setApplicationVersion(COMFLASH_VERSION);
    const auto parsed = parseRequest(QCoreApplication::arguments());
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::cerr << "comflash-cli: " << *problem << "\nTry comflash-cli --help.\n";
        return kExitBadInput;
    }
    const Request& request = std::get<Request>(parsed);
    return request.command == Command::Ports ? listPorts() : runSession(request);
}
