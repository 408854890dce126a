#include "ui/headless/headless_toolkit.h"

#include <algorithm>

#include "ui/driver_adapters.h"
#include "ui/headless/headless_comm.h"
#include "ui/headless/headless_controls.h"

namespace comflash::ui::headless {

std::unique_ptr<Window> HeadlessToolkit::createWindow(const WindowEntry& entry) {
    auto window = std::make_unique<HeadlessWindow>(*this, entry);
    windows_.push_back(window.get());
    return window;
}

Answer HeadlessToolkit::showMessage(const MessageBox& box) {
    messages_.push_back(box);
    Response response{box.buttons == Buttons::RetryCancel ? Answer::Cancel : Answer::Ok};
    if (!responses_.empty()) {
        response = responses_.front();
        responses_.pop_front();
    }
    // While the box is open, the events of every window keep running.
    if (response.holdOpen.count() > 0) {
        ++boxesOpen_;
        clock_.advance(response.holdOpen);
        --boxesOpen_;
    }
    return response.answer;
}

void HeadlessToolkit::sleep(int milliseconds) {
    clock_.skip(std::chrono::milliseconds(milliseconds));
}

std::optional<std::string> HeadlessToolkit::showFileDialog(const FileDialogRequest& request) {
    fileDialogs_.push_back(request);
    if (fileDialogAnswers_.empty()) return std::nullopt;
    FileDialogAnswer answer = std::move(fileDialogAnswers_.front());
    fileDialogAnswers_.pop_front();
    if (answer.fails) throw std::runtime_error("the file dialog could not be shown");
    return std::move(answer.path);
}

void HeadlessToolkit::drive() {
    runUntil([this] { return clock_.idle(); }, "drive");
}

void HeadlessToolkit::runUntil(const std::function<bool()>& done, std::string_view waiting) {
    const Micros limit = clock_.now() + timeLimit_;
    while (!done()) {
        if (clock_.idle()) {
            if (userActions_.empty() || modalStack_.empty()) {
                throw Stalled(std::string(waiting) + ": waiting with nothing scheduled");
            }
            const UserAction action = std::move(userActions_.front());
            userActions_.pop_front();
            action(*modalStack_.back());
            continue;
        }
        if (*clock_.nextDue() > limit) {
            throw Stalled(std::string(waiting) + ": still waiting after the time limit");
        }
        clock_.runNext();
    }
}

std::unique_ptr<HeadlessSerialPort> HeadlessToolkit::makePort(int number) {
    auto port = std::make_unique<HeadlessSerialPort>(*this);
    port->setNumber(number);
    return port;
}

std::unique_ptr<driver::Timer> HeadlessToolkit::makeTimer() {
    auto timer = std::make_unique<HeadlessTimer>(clock_);
    timer->load();
    return std::make_unique<ControlTimer>(std::move(timer));
}

HeadlessPort& HeadlessToolkit::addPort(int number, sim::LineEnd* device) {
    HeadlessPort& port = ports_[number];
    port.device = device;
    return port;
}

void HeadlessToolkit::unplug(int number) {
    const auto it = ports_.find(number);
    if (it == ports_.end()) return;
    HeadlessSerialPort* user = it->second.user;
    if (user) user->close();  // the device sees the line drop
    ports_.erase(it);
    if (user) user->reportFailure();
}

std::string HeadlessToolkit::portToolTip(int number) const {
    const auto it = ports_.find(number);
    if (it == ports_.end()) return {};
    const HeadlessPort& port = it->second;
    return port.identity.empty() ? port.path : port.path + "  " + port.identity;
}

std::string HeadlessToolkit::portDevice(int number) const {
    const auto it = ports_.find(number);
    return it == ports_.end() ? std::string() : it->second.path;
}

HeadlessPort* HeadlessToolkit::port(int number) {
    const auto it = ports_.find(number);
    return it == ports_.end() ? nullptr : &it->second;
}

HeadlessWindow* HeadlessToolkit::window(std::string_view name) const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        if ((*it)->entry().name == name) return *it;
    }
    return nullptr;
}

void HeadlessToolkit::popModal(HeadlessWindow& window) {
    const auto it = std::find(modalStack_.begin(), modalStack_.end(), &window);
    if (it != modalStack_.end()) modalStack_.erase(it);
}

bool HeadlessToolkit::topModalIs(const HeadlessWindow& window) const {
    return modalStack_.empty() || modalStack_.back() == &window;
}

void HeadlessToolkit::forget(const HeadlessWindow& window) {
    std::erase(windows_, &window);
    std::erase(modalStack_, &window);
}

}  // namespace comflash::ui::headless
