// comflash-cli on Windows: the same commands, options, texts and exit statuses as the Linux
// program, on the Windows console toolkit: the system's serial ports and timers on the
// thread's message loop, message boxes printed as lines. Output is UTF-8, so that the
// device's Chinese messages read correctly in a console. Ctrl-C closes the ports before the
// program ends.
#include <windows.h>
// After windows.h, which they build on.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
// The system's MessageBox macro would rename the toolkit's message box type.
#undef MessageBox

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/console.h"
#include "cli/line_display.h"
#include "cli/port_argument.h"
#include "cli/production_run.h"
#include "cli/run_setup.h"
#include "cli/session_runner.h"
#include "ui/win32/console_toolkit.h"
#include "ui/win32/message_window.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_comm.h"
#undef MessageBox

namespace comflash::cli {
namespace {

using ui::win32::ConsoleToolkit;
using ui::win32::MessageWindow;

constexpr int kLastProbedPort = 99;  // the ports the window's COM dialog offers

std::string programFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash);
    return ui::win32::utf8(path);
}

std::vector<std::string> commandArguments() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(ui::win32::utf8(words[i]));
    LocalFree(words);
    return arguments;
}

// A console rather than a file or a pipe; progress is then redrawn in place.
bool isConsole(DWORD stream) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stream), &mode) != FALSE;
}

// Standard output and error pass bytes as they are: UTF-8 text with the Linux program's line
// ends, and a console that shows UTF-8 and moves the cursor as the progress lines ask.
// The console's own code page, given back as the program ends: the console outlives it.
UINT consoleCodePage = 0;

void restoreOutput() {
    std::cout << std::flush;
    std::cerr << std::flush;
    if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

void prepareOutput() {
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
}

std::size_t consoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

// Ctrl-C, Ctrl-Break or the console closing: the user-interface thread closes every port and
// ends the program, while the system waits in the handler.
ConsoleToolkit* interruptedToolkit = nullptr;
UINT_PTR interruptNotice = 0;
HANDLE portsClosed = nullptr;
constexpr DWORD kCloseWait = 5000;  // ms; a thread stuck longer than this is not waited for

BOOL WINAPI interrupted(DWORD) {
    if (portsClosed == nullptr) return FALSE;
    MessageWindow::instance().post(interruptNotice, 0);
    // Not handled in time (the thread is not at its message loop): the system ends the
    // program, and with it the ports.
    return WaitForSingleObject(portsClosed, kCloseWait) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

// Ctrl-C is honoured from here on, for the sessions of `toolkit`.
class InterruptGuard {
  public:
    explicit InterruptGuard(ConsoleToolkit& toolkit) {
        interruptedToolkit = &toolkit;
        portsClosed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        interruptNotice = MessageWindow::instance().add([](LPARAM) {
            if (interruptedToolkit != nullptr) interruptedToolkit->closePorts();
            std::cout << std::flush;
            std::cerr << "\nInterrupted: the ports are closed.\n" << std::flush;
            SetEvent(portsClosed);
            restoreOutput();
            ExitProcess(kExitFailed);
        });
        SetConsoleCtrlHandler(&interrupted, TRUE);
    }
    ~InterruptGuard() {
        SetConsoleCtrlHandler(&interrupted, FALSE);
        MessageWindow::instance().remove(interruptNotice);
        interruptedToolkit = nullptr;
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Why a port could not be used, in the system's words, with the usual remedy.
std::string portFailureLine(const PortFault& failure, const std::string& port) {
    const std::string& device = failure.device.empty() ? port : failure.device;
    switch (failure.kind) {
        case PortFault::Kind::None:
            return {};
        case PortFault::Kind::NoDevice:
            return port + " stands for no device.";
        case PortFault::Kind::NotFound:
            return device + ": " + failure.reason +
                   " (is the adapter plugged in? comflash-cli ports lists the ports that open)";
        case PortFault::Kind::Denied:
            return device + ": busy, another program has the port open (" + failure.reason + ")";
        case PortFault::Kind::Other:
            break;
    }
    return device + ": " + failure.reason;
}

// Windows opens no serial device by path.
const std::string kComNamesOnly = "Windows names its serial ports COM1, COM2, ...";

// Every --port as the system's port COMn.
std::variant<std::vector<PortArgument>, std::string> readComPorts(
    const std::vector<std::string>& names) {
    auto read = readPorts(names, std::string());
    if (auto* ports = std::get_if<std::vector<PortArgument>>(&read)) {
        for (std::size_t i = 0; i < ports->size(); ++i) {
            if (!(*ports)[i].device.empty()) return "--port " + names[i] + ": " + kComNamesOnly;
        }
    }
    return read;
}

int listPorts() {
    ui::win32::Win32Comm comm;
    int found = 0;
    for (int number = 1; number <= kLastProbedPort; ++number) {
        comm.setCommPort(number);
        if (!comm.setPortOpen(true)) continue;
        comm.setPortOpen(false);
        std::cout << "COM" << number << '\n';
        ++found;
    }
    std::cout << std::flush;
    if (found == 0) std::cerr << "No port from COM1 to COM" << kLastProbedPort << " opens.\n";
    return kExitSucceeded;
}

// One update session per port, all at once: the firmware file is read once, then every
// session runs on the one message loop with its own state. Ends with a table of the results.
int runLine(const Request& request) {
    const bool outIsConsole = isConsole(STD_OUTPUT_HANDLE);
    // Nobody is asked anything: the prompt is answered from --retries.
    Console console(std::cout, std::cerr, outIsConsole, false, request.retries);
    const auto comPorts = readComPorts(request.ports);
    if (const auto* why = std::get_if<std::string>(&comPorts)) {
        console.warn(*why);
        return kExitBadInput;
    }
    std::vector<PortArgument> ports;
    AppState state;
    if (const std::string why = settleRun(request, std::string(), programFolder(), ports, state);
        !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }

    // Session i opens port number i + 1, which stands for the i-th port named.
    const auto portNumber = [ports](int number) {
        if (number < 1 || static_cast<std::size_t>(number) > ports.size()) return 0;
        return static_cast<int>(ports[static_cast<std::size_t>(number) - 1].number);
    };
    ConsoleToolkit toolkit(
        portNumber,
        {[&](const ui::MessageBox& box) { return console.show(box); },
         [](const std::optional<std::string>&) { return std::optional(ui::Answer::Cancel); },
         [](double) {}},
        GetStdHandle(STD_INPUT_HANDLE));
    const InterruptGuard interrupt(toolkit);
    if (!loadForPorts(request, ports.size(), state, toolkit, console)) return kExitBadInput;

    const auto start = std::chrono::steady_clock::now();
    ProductionRun run(state, toolkit, request.ports, request.retries, [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    });
    run.verifyWrites(request.verify);
    LineDisplay display(outIsConsole, outIsConsole ? consoleColumns() : 0);
    const auto show = [&] { std::cout << display.update(run.status()) << std::flush; };
    MessageWindow& messages = MessageWindow::instance();
    const UINT_PTR refresh = messages.add([&](LPARAM) { show(); });
    run.start();
    show();
    if (!run.ended()) {
        messages.startTimer(refresh, outIsConsole ? 200 : 100);
        toolkit.runUntil([&run] { return run.ended(); });
    }
    messages.remove(refresh);
    show();
    std::cout << '\n' << LineDisplay::summary(run.status()) << std::flush;
    const std::vector<PortStatus> ended = run.status();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string line = portFailureLine(ended[i].outcome.fault, request.ports[i]);
        if (!line.empty()) console.warn(line);
    }
    return run.exitStatus();
}

int runSession(const Request& request) {
    if (request.command == Command::Write && request.ports.size() > 1) return runLine(request);
    const bool outIsConsole = isConsole(STD_OUTPUT_HANDLE);
    const bool inIsConsole = isConsole(STD_INPUT_HANDLE);
    Console console(std::cout, std::cerr, outIsConsole, inIsConsole, request.retries);

    const PortArgument port = parsePortArgument(request.port);
    if (!port.failure.empty() || !port.device.empty()) {
        console.warn("--port: " + (port.failure.empty() ? kComNamesOnly : port.failure));
        return kExitBadInput;
    }
    AppState state;
    if (const std::string why = settleOnePort(request, programFolder(), port.number, state);
        !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }

    const SessionRunner* running = nullptr;  // set once the runner is made
    const auto start = std::chrono::steady_clock::now();
    ConsoleToolkit toolkit(
        [](int number) { return number; },
        {[&](const ui::MessageBox& box) { return console.show(box); },
         [&](const std::optional<std::string>& line) { return console.reply(line); },
         [&](double fraction) {
             const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now() - start);
             console.progress(
                 fraction, state.ImageEnd - state.ImageStart + 1, now,
                 running != nullptr && running->step() == session::Session::Step::Verify);
         }},
        GetStdHandle(STD_INPUT_HANDLE));
    const InterruptGuard interrupt(toolkit);
    SessionRunner runner(state, toolkit);
    running = &runner;
    runner.verifyWrites(request.verify);
    return runOnePort(request, request.port, state, runner, console,
                      [&](const PortFault& fault) { return portFailureLine(fault, request.port); });
}

}  // namespace
}  // namespace comflash::cli

int main() {
    using namespace comflash::cli;
    prepareOutput();
    std::atexit(restoreOutput);
    const auto parsed = parseArguments(commandArguments(), COMFLASH_VERSION);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::cerr << "comflash-cli: " << *problem << "\nTry comflash-cli --help.\n";
        return kExitBadInput;
    }
    if (const auto* shown = std::get_if<ShownText>(&parsed)) {
        std::cout << shown->text << std::flush;
        return kExitSucceeded;
    }
    const Request& request = std::get<Request>(parsed);
    if (request.command == Command::Station) {
        std::fputs("comflash-cli: station runs on Linux only for now\n", stderr);
        return kExitBadInput;
    }
    return request.command == Command::Ports ? listPorts() : runSession(request);
}
