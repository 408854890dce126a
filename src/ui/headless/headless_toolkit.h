// The headless twin of the toolkit, for tests: virtual time, windows whose modal show runs a
// nested loop over virtual time, scripted message boxes that are all recorded, and serial
// ports whose far end may be a simulated device; file dialogs are scripted and recorded too.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "driver/serial_port.h"
#include "ui/headless/headless_window.h"
#include "ui/headless/virtual_clock.h"
#include "ui/window.h"

namespace comflash::sim {
class LineEnd;
}

namespace comflash::ui::headless {

// A modal loop (or drive()) found nothing left to happen while it still waited, or virtual
// time ran past the toolkit's limit: the program under test would hang.
class Stalled : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class HeadlessSerialPort;

struct HeadlessPort {
    bool busy = false;                   // opened by another program: cannot be opened
    sim::LineEnd* device = nullptr;      // what answers at the far end; none: bytes are lost
    bool refuseSettings = false;         // a settings change on the open port fails
    std::string path;                    // the device the port stands for, as the user knows it
    std::string identity;                // what tells its adapter apart ("serial A10K3X")
    HeadlessSerialPort* user = nullptr;  // the serial port that has it open
};

class HeadlessToolkit : public Toolkit {
  public:
    // How a scripted message box is answered, and how long it stays open first.
    struct Response {
        Answer answer;
        std::chrono::milliseconds holdOpen{0};
    };
    // Something the user does while a modal window waits with nothing else to happen.
    using UserAction = std::function<void(HeadlessWindow& modalWindow)>;

    std::unique_ptr<Window> createWindow(const WindowEntry& entry) override;
    Answer showMessage(const MessageBox& box) override;
    // Blocks the (virtual) user-interface thread: time passes, no event runs meanwhile.
    void sleep(int milliseconds) override;
    std::optional<std::string> showFileDialog(const FileDialogRequest& request) override;
    // The path of port n; empty when it has none or was never added.
    std::string portDevice(int number) const override;
    // The path, then the identity.
    std::string portToolTip(int number) const override;

    VirtualClock& clock() { return clock_; }
    // Runs events as time passes, until nothing is scheduled. Throws Stalled when virtual
    // time passes the limit (a timer that never stops).
    void drive();
    void advance(std::chrono::milliseconds duration) { clock_.advance(duration); }
    // Limit of virtual time one drive() or modal loop may run; 1 hour unless changed.
    void setTimeLimit(std::chrono::milliseconds limit) { timeLimit_ = limit; }

    // Scripted answers, used in order; without one, a box is answered OK, or Cancel when it
    // offers Retry and Cancel.
    void answerNext(Answer answer, std::chrono::milliseconds holdOpen = {}) {
        responses_.push_back({answer, holdOpen});
    }
    const std::vector<MessageBox>& messages() const { return messages_; }
    int messageBoxesOpen() const { return boxesOpen_; }

    // Scripted file dialogs, used in order: the path the user chooses, or none for Cancel.
    // Without one, a dialog is cancelled.
    void chooseFileNext(std::optional<std::string> path) {
        fileDialogAnswers_.push_back(FileDialogAnswer{std::move(path), false});
    }
    // The next file dialog cannot be shown: showFileDialog throws.
    void failFileDialogNext() { fileDialogAnswers_.push_back(FileDialogAnswer{{}, true}); }
    const std::vector<FileDialogRequest>& fileDialogs() const { return fileDialogs_; }

    // Actions run, in order, each time a modal window is open and nothing else is scheduled.
    void whenModalIdle(UserAction action) { userActions_.push_back(std::move(action)); }

    // A serial port over port `number` and a timer in virtual time, for sessions without a
    // window.
    std::unique_ptr<HeadlessSerialPort> makePort(int number);
    std::unique_ptr<driver::Timer> makeTimer();

    // Serial ports: a number that was never added cannot be opened.
    HeadlessPort& addPort(int number, sim::LineEnd* device = nullptr);
    HeadlessPort* port(int number);
    // The port's adapter is pulled out: the serial control that has it open reports a failed
    // port, and the number can no longer be opened.
    void unplug(int number);

    // The newest window made from the catalogue entry of that name, or null.
    HeadlessWindow* window(std::string_view name) const;

    // Used by the headless windows.
    void pushModal(HeadlessWindow& window) { modalStack_.push_back(&window); }
    void popModal(HeadlessWindow& window);
    bool topModalIs(const HeadlessWindow& window) const;
    void runUntil(const std::function<bool()>& done, std::string_view waiting);
    void forget(const HeadlessWindow& window);

  private:
    struct FileDialogAnswer {
        std::optional<std::string> path;
        bool fails;
    };

    VirtualClock clock_;
    std::chrono::milliseconds timeLimit_ = std::chrono::hours(1);
    std::deque<Response> responses_;
    std::vector<MessageBox> messages_;
    int boxesOpen_ = 0;
    std::deque<FileDialogAnswer> fileDialogAnswers_;
    std::vector<FileDialogRequest> fileDialogs_;
    std::deque<UserAction> userActions_;
    std::map<int, HeadlessPort> ports_;
    std::vector<HeadlessWindow*> modalStack_;
    std::vector<HeadlessWindow*> windows_;  // in the order they were made
};

}  // namespace comflash::ui::headless
