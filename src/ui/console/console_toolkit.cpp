#include "ui/console/console_toolkit.h"

#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>

#include "ui/console/console_window.h"

namespace comflash::ui::console {

ConsoleToolkit::ConsoleToolkit(qt::QtComm::PortDevice portDevice, FrontEnd frontEnd, int input)
    : portDevice_(std::move(portDevice)), frontEnd_(std::move(frontEnd)), input_(input) {}

std::unique_ptr<Window> ConsoleToolkit::createWindow(const WindowEntry& entry) {
    return std::make_unique<ConsoleWindow>(entry, portDevice_, frontEnd_.progress);
}

Answer ConsoleToolkit::showMessage(const MessageBox& box) {
    if (const auto answer = frontEnd_.show(box)) return *answer;
    for (;;) {
        if (const auto answer = frontEnd_.reply(readLine())) return *answer;
    }
}

void ConsoleToolkit::sleep(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

// Waits for a whole line in a nested event loop, as a message box waits for its button:
// the session's timer and serial events run meanwhile. None once the input has ended.
std::optional<std::string> ConsoleToolkit::readLine() {
    QSocketNotifier notifier(static_cast<qintptr>(input_), QSocketNotifier::Read);
    QEventLoop loop;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = ::read(input_, buffer, sizeof buffer);
        if (got > 0) {
            pending_.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            inputEnded_ = true;
        }
        if (inputEnded_ || pending_.find('\n') != std::string::npos) loop.quit();
    });
    if (!inputEnded_ && pending_.find('\n') == std::string::npos) loop.exec();
    const std::size_t end = pending_.find('\n');
    if (end == std::string::npos) {
        if (pending_.empty()) return std::nullopt;
        std::string last;  // a last line without its line end
        last.swap(pending_);
        return last;
    }
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
}

std::optional<std::string> ConsoleToolkit::showFileDialog(const FileDialogRequest&) {
    throw std::runtime_error("no file dialog without a display");
}

}  // namespace comflash::ui::console
