#include "driver/driver.h"

#include <type_traits>
#include <utility>

namespace comflash::driver {

Driver::Driver(SerialPort& port, Timer& timer) : port_(port), timer_(timer) {
    port_.onReceived = [this] {
        if (session_) perform(session_->received(port_.take()));
    };
    port_.onFailed = [this] {
        if (session_) perform(session_->portFailed(port_.fault()));
    };
    timer_.onExpired = [this] { expired(); };
}

Driver::~Driver() {
    port_.onReceived = nullptr;
    port_.onFailed = nullptr;
    timer_.onExpired = nullptr;
}

void Driver::start(const session::Request& request, ImageBytes& image) {
    stop();
    then_ = nullptr;
    port_.notifyAt(0);
    session_.emplace(request, image);
    step_.reset();
    perform(session_->start());
}

void Driver::answerRetry(bool retry) {
    if (session_) perform(session_->retryAnswered(retry));
}

void Driver::stop() {
    if (!running()) return;
    session_->closed();
    timer_.stop();
    port_.close();
}

void Driver::after(int milliseconds, std::function<void()> then) {
    if (running()) return;
    then_ = std::move(then);
    timer_.start(milliseconds);
}

bool Driver::running() const {
    return session_ && session_->phase() != session::Session::Phase::Ended;
}

session::Progress Driver::progress() const {
    return session_ ? session_->progress() : session::Progress{};
}

std::optional<session::Result> Driver::result() const {
    return session_ ? session_->result() : std::nullopt;
}

void Driver::expired() {
    if (running()) {
        perform(session_->timerExpired());
    } else if (then_) {
        std::exchange(then_, nullptr)();
    }
}

void Driver::stepReached(session::Progress::Step step) {
    if (step == step_) return;
    step_ = step;
    if (onStep) onStep(step);
}

void Driver::perform(const session::Actions& actions) {
    for (const session::Action& action : actions) {
        if (!perform(action)) return;
    }
}

bool Driver::perform(const session::Action& action) {
    return std::visit(
        [this](const auto& a) {
            using A = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<A, session::Transmit>) {
                stepReached(session_->step());
                if (port_.isOpen()) port_.take();  // stale bytes must not precede the echo
                if (port_.send(a.bytes)) return true;
                perform(session_->portFailed(port_.fault()));
                return false;
            } else if constexpr (std::is_same_v<A, session::SetRate>) {
                if (port_.setRate(a.baud) || !port_.isOpen()) return true;
                perform(session_->portFailed(port_.fault()));
                return false;
            } else if constexpr (std::is_same_v<A, session::OpenPort>) {
                if (!port_.isOpen() && !port_.open()) {
                    perform(session_->openFailed(port_.fault()));
                    return false;
                }
                if (onOpened) onOpened();
            } else if constexpr (std::is_same_v<A, session::ClosePort>) {
                port_.close();
            } else if constexpr (std::is_same_v<A, session::AwaitBytes>) {
                port_.notifyAt(a.count);
            } else if constexpr (std::is_same_v<A, session::ArmTimer>) {
                timer_.start(a.milliseconds);
            } else if constexpr (std::is_same_v<A, session::StopTimer>) {
                timer_.stop();
            } else if constexpr (std::is_same_v<A, session::ShowProgress>) {
                stepReached(a.progress.step);
                if (onProgress) onProgress(a.progress);
            } else if constexpr (std::is_same_v<A, session::AskRetry>) {
                const std::optional<bool> answer = askRetry ? askRetry() : std::optional(false);
                if (answer) perform(session_->retryAnswered(*answer));
            } else if constexpr (std::is_same_v<A, session::Ended>) {
                if (onEnded) onEnded(a.result);
            }
            return true;
        },
        action);
}

}  // namespace comflash::driver
