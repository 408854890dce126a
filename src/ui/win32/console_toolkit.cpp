#include "ui/win32/console_toolkit.h"

#include <windows.h>
// The system's MessageBox macro would rename the toolkit's message box type.
#undef MessageBox

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "ui/win32/console_window.h"
#include "ui/win32/message_window.h"

namespace comflash::ui::win32 {

// What the reader thread shares with the user-interface thread. The thread may outlive the
// toolkit, blocked in a read nobody waits for any more; it then posts to a number that
// reaches no one.
struct ConsoleToolkit::Typed {
    std::mutex mutex;
    std::string pending;  // typed bytes after the last line taken
    bool ended = false;
    bool started = false;
    UINT_PTR notice = 0;
};

ConsoleToolkit::ConsoleToolkit(PortNumber portNumber, FrontEnd frontEnd, void* input)
    : portNumber_(std::move(portNumber)),
      frontEnd_(std::move(frontEnd)),
      input_(input),
      typed_(std::make_shared<Typed>()) {
    typed_->notice = MessageWindow::instance().add([](LPARAM) {});
}

ConsoleToolkit::~ConsoleToolkit() {
    MessageWindow::instance().remove(typed_->notice);
}

std::unique_ptr<Window> ConsoleToolkit::createWindow(const WindowEntry& entry) {
    return std::make_unique<ConsoleWindow>(entry, *this, frontEnd_.progress);
}

Answer ConsoleToolkit::showMessage(const MessageBox& box) {
    if (const auto answer = frontEnd_.show(box)) return *answer;
    for (;;) {
        if (const auto answer = frontEnd_.reply(readLine())) return *answer;
    }
}

void ConsoleToolkit::sleep(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

std::optional<std::string> ConsoleToolkit::showFileDialog(const FileDialogRequest&) {
    throw std::runtime_error("no file dialog on the command line");
}

std::string ConsoleToolkit::portDevice(int number) const {
    const int port = portNumber_(number);
    return port >= 1 ? "COM" + std::to_string(port) : std::string();
}

void ConsoleToolkit::runUntil(const std::function<bool()>& done) {
    MSG message{};
    while (!done()) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) return;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void ConsoleToolkit::closePorts() {
    for (ConsoleWindow* window : windows_) window->closePorts();
}

void ConsoleToolkit::added(ConsoleWindow& window) {
    windows_.push_back(&window);
}

void ConsoleToolkit::removed(ConsoleWindow& window) {
    std::erase(windows_, &window);
}

// Waits for a whole line while messages are handled, as a message box waits for its button:
// the session's timer and serial events run meanwhile. None once the input has ended.
std::optional<std::string> ConsoleToolkit::readLine() {
    const std::shared_ptr<Typed> typed = typed_;
    const auto lineOrEnd = [typed] {
        const std::lock_guard lock(typed->mutex);
        return typed->ended || typed->pending.find('\n') != std::string::npos;
    };
    if (!std::exchange(typed->started, true)) {
        std::thread([typed, input = input_] {
            for (;;) {
                char buffer[256];
                DWORD got = 0;
                const bool read = ReadFile(input, buffer, sizeof buffer, &got, nullptr) != FALSE;
                {
                    const std::lock_guard lock(typed->mutex);
                    if (read && got > 0) {
                        typed->pending.append(buffer, got);
                    } else {
                        typed->ended = true;
                    }
                }
                MessageWindow::instance().post(typed->notice, 0);
                if (!read || got == 0) return;
            }
        }).detach();
    }
    runUntil(lineOrEnd);
    const std::lock_guard lock(typed->mutex);
    const std::size_t end = typed->pending.find('\n');
    if (end == std::string::npos) {
        if (typed->pending.empty()) return std::nullopt;
        std::string last;  // a last line without its line end
        last.swap(typed->pending);
        return last;
    }
    std::string line = typed->pending.substr(0, end);
    typed->pending.erase(0, end + 1);
    return line;
}

}  // namespace comflash::ui::win32
