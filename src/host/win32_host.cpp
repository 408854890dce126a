#include "host/win32_host.h"

#include <windows.h>
// After windows.h, which they build on.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "cli/port_listing.h"
#include "host/win32_command.h"
#include "host/win32_loop.h"
#include "host/windows_ports.h"
#include "settings/com_port_names.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_serial_port.h"

namespace comflash::host {

namespace {

constexpr int kLastProbedPort = 99;  // the ports the window's COM dialog offers
// The command line runs no loop but its own (no message box): its ports are read on the loop's
// thread, and an answer reaches the session without a thread or a notice in between.
constexpr auto kPortReading = ui::win32::Win32SerialPort::Reading::Loop;
// Windows opens no serial device by path.
constexpr const char* kComNamesOnly = "Windows names its serial ports COM1, COM2, ...";

// How long the system is held back when it ends the program (the console closing), so that the
// loop closes the ports first; a thread stuck longer than this is not waited for.
constexpr DWORD kCloseWait = 5000;
// The interruptions that stop everything at once (the station stops gently at the first).
constexpr int kStopAtOnce = 2;
constexpr LPARAM kCtrlC = 0;
constexpr LPARAM kClosing = 1;

// The console's own code page, given back as the program ends: the console outlives it.
UINT consoleCodePage = 0;
// Where Ctrl-C goes: the loop's number of the host's notice; 0 while no one listens,
// and the system then ends the program as usual.
std::atomic<UINT_PTR> interruptNotice{0};
// Set as the program ends, after the last output.
HANDLE finished = nullptr;

void giveBackCodePage() {
    if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

void restoreOutput() {
    std::cout << std::flush;
    std::cerr << std::flush;
    giveBackCodePage();
    if (finished != nullptr) SetEvent(finished);
}

// Runs on a thread of the system's while the program goes on.
BOOL WINAPI controlEvent(DWORD event) {
    const UINT_PTR notice = interruptNotice.load();
    if (notice == 0) {
        giveBackCodePage();
        return FALSE;
    }
    const bool closing = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
    Win32Loop::instance().post(notice, closing ? kClosing : kCtrlC);
    // The system ends the program as soon as this returns.
    if (closing) WaitForSingleObject(finished, kCloseWait);
    return TRUE;
}

void handleControlEvents() {
    static std::once_flag once;
    std::call_once(once, [] {
        finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(&controlEvent, TRUE);
    });
}

// A console rather than a file or a pipe.
bool isConsole(DWORD stream) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stream), &mode) != FALSE;
}

cli::PortDescription describedPort(
    int number, const std::map<std::string, settings::PortIdentity>& identities) {
    cli::PortDescription port;
    port.number = number;
    if (const auto found = identities.find("COM" + std::to_string(number));
        found != identities.end()) {
        port.identity = found->second;
    }
    return port;
}

}  // namespace

void prepareOutput() {
    static std::once_flag once;
    std::call_once(once, [] {
        consoleCodePage = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
            const HANDLE handle = GetStdHandle(stream);
            DWORD mode = 0;
            if (GetConsoleMode(handle, &mode)) {
                SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
            }
        }
        std::atexit(restoreOutput);
        handleControlEvents();
    });
}

// The reader thread may outlive the host, blocked in a read nobody waits for any more; it then
// posts to a number that reaches no one.
struct Win32Host::Typed {
    std::mutex mutex;
    std::string pending;  // typed bytes after the last line handed over
    bool ended = false;
    bool started = false;
};

Win32Host::Win32Host() : typed_(std::make_shared<Typed>()) {
    // The loop belongs to this thread, which runs it.
    typedNotice_ = Win32Loop::instance().add([this](LPARAM) { typed(); });
}

Win32Host::~Win32Host() {
    auto& loop = Win32Loop::instance();
    if (interruptNotice_ != 0) {
        UINT_PTR ours = interruptNotice_;
        interruptNotice.compare_exchange_strong(ours, 0);
        loop.remove(interruptNotice_);
    }
    loop.remove(typedNotice_);
}

std::ostream& Win32Host::out() {
    return std::cout;
}

std::ostream& Win32Host::err() {
    return std::cerr;
}

bool Win32Host::outIsTerminal() const {
    return isConsole(STD_OUTPUT_HANDLE);
}

std::size_t Win32Host::columns() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

bool Win32Host::inIsTerminal() const {
    return isConsole(STD_INPUT_HANDLE);
}

std::string Win32Host::programFolder() const {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash);
    return ui::win32::utf8(path);
}

// The name the station's records carry by default: the computer's DNS host name, else its
// NetBIOS name.
std::string Win32Host::hostName() const {
    for (const COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameNetBIOS}) {
        DWORD size = 0;
        GetComputerNameExW(format, nullptr, &size);
        if (size == 0) continue;
        std::wstring name(size, L'\0');
        if (!GetComputerNameExW(format, name.data(), &size)) continue;
        name.resize(size);
        if (!name.empty()) return ui::win32::utf8(name);
    }
    return {};
}

std::string Win32Host::portRefusal(const cli::PortArgument& port) const {
    return port.device.empty() ? std::string() : kComNamesOnly;
}

std::string Win32Host::deviceOf(const cli::PortArgument& port) const {
    return port.device.empty() ? settings::comPortDevice(port.number, {}) : port.device;
}

std::unique_ptr<driver::SerialPort> Win32Host::makePort(const cli::PortArgument& port) {
    auto serial = std::make_unique<ui::win32::Win32SerialPort>(kPortReading, Win32Loop::instance());
    serial->setNumber(port.number);
    return serial;
}

std::unique_ptr<driver::Timer> Win32Host::makeTimer() {
    return std::make_unique<Win32LoopTimer>(Win32Loop::instance());
}

// Why a port could not be used, in the system's words, with the usual remedy.
std::string Win32Host::portFailureLine(const PortFault& fault, const std::string& port) const {
    const std::string& device = fault.device.empty() ? port : fault.device;
    switch (fault.kind) {
        case PortFault::Kind::None:
            return {};
        case PortFault::Kind::NoDevice:
            return cli::withMissingPortAdvice(port + " stands for no device.", port,
                                              presentPorts());
        case PortFault::Kind::NotFound:
            return cli::withMissingPortAdvice(
                device + ": " + fault.reason +
                    " (is the adapter plugged in? comflash-cli ports lists the ports that open)",
                port, presentPorts());
        case PortFault::Kind::Denied:
            return device + ": busy, another program has the port open (" + fault.reason + ")";
        case PortFault::Kind::Other:
            break;
    }
    return device + ": " + fault.reason;
}

std::vector<cli::PortDescription> Win32Host::openingPorts() {
    std::vector<cli::PortDescription> ports;
    const auto identities = windowsPortIdentities();
    ui::win32::Win32SerialPort port(kPortReading, Win32Loop::instance());
    for (int number = 1; number <= kLastProbedPort; ++number) {
        port.setNumber(number);
        if (!port.open()) continue;
        port.close();
        ports.push_back(describedPort(number, identities));
    }
    return ports;
}

// The ports the device manager lists, and those it does not but the system has (Wine's).
std::vector<cli::PortDescription> Win32Host::presentPorts() const {
    std::vector<cli::PortDescription> ports;
    const auto identities = windowsPortIdentities();
    for (int number = 1; number <= kLastProbedPort; ++number) {
        if (identities.count("COM" + std::to_string(number)) == 0 && !comPortPresent(number)) {
            continue;
        }
        ports.push_back(describedPort(number, identities));
    }
    return ports;
}

void Win32Host::runUntil(const std::function<bool()>& done) {
    Win32Loop::instance().runUntil(done);
}

// Reading blocks, so a thread of its own reads and posts what came to the loop.
void Win32Host::readLines(std::function<void(const std::optional<std::string>& line)> line) {
    line_ = std::move(line);
    const std::shared_ptr<Typed> typed = typed_;
    if (std::exchange(typed->started, true)) return;
    std::thread([typed, notice = typedNotice_, input = GetStdHandle(STD_INPUT_HANDLE)] {
        for (;;) {
            char buffer[256];
            DWORD got = 0;
            SetLastError(ERROR_SUCCESS);
            const bool read = ReadFile(input, buffer, sizeof buffer, &got, nullptr) != FALSE;
            // Ctrl-C ends a console's read with nothing; the input goes on.
            if (read && got == 0 && GetLastError() == ERROR_OPERATION_ABORTED) continue;
            {
                const std::lock_guard lock(typed->mutex);
                if (read && got > 0) {
                    typed->pending.append(buffer, got);
                } else {
                    typed->ended = true;
                }
            }
            Win32Loop::instance().post(notice, 0);
            if (!read || got == 0) return;
        }
    }).detach();
}

// Hands over each whole line typed, then, once the input has ended, the rest and the end.
void Win32Host::typed() {
    while (!inputEnded_) {
        std::optional<std::string> line;
        {
            const std::lock_guard lock(typed_->mutex);
            std::string& pending = typed_->pending;
            if (const auto end = pending.find('\n'); end != std::string::npos) {
                // A console ends a line with CR LF.
                line = pending.substr(0, end > 0 && pending[end - 1] == '\r' ? end - 1 : end);
                pending.erase(0, end + 1);
            } else if (!typed_->ended) {
                return;
            } else if (!pending.empty()) {
                line = std::exchange(pending, {});  // a last line without its line end
            } else {
                inputEnded_ = true;
            }
        }
        // The receiver may replace itself.
        if (const auto deliver = line_) deliver(line);
    }
}

void Win32Host::onInterrupt(std::function<void(int count)> interrupted) {
    interrupted_ = std::move(interrupted);
    if (interruptNotice_ != 0) return;
    interruptNotice_ =
        Win32Loop::instance().add([this](LPARAM kind) { interruptedBy(kind == kClosing); });
    interruptNotice.store(interruptNotice_);
    handleControlEvents();
}

void Win32Host::interruptedBy(bool closing) {
    do {
        ++interrupts_;
        if (const auto deliver = interrupted_) deliver(interrupts_);
    } while (closing && interrupts_ < kStopAtOnce);
}

std::unique_ptr<cli::RunningCommand> Win32Host::runCommand(
    const std::string& command, const cli::Environment& environment,
    std::function<void(const cli::CommandResult&)> done) {
    return runWin32Command(command, environment, std::move(done), Win32Loop::instance());
}

}  // namespace comflash::host
