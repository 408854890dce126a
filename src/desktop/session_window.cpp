#include "desktop/session_window.h"

#include <cstdio>
#include <string>
#include <type_traits>

namespace comflash::desktop {

namespace {

constexpr std::string_view kUpdateCaption = "Update";
constexpr std::string_view kReadCaption = "读取固件";

}  // namespace

std::string endMessage(const session::Result& result, bool useEnglish) {
    using session::Outcome;
    switch (result.outcome) {
        case Outcome::OtherModel:
            return "Model Error！";
        case Outcome::Failed:
            return session::failureText(result.address);
        case Outcome::PortUnavailable:
        case Outcome::PortFailed:
            return useEnglish ? "Please reselect COM port!" : "请重新选择端口！";
        case Outcome::VerifyFailed: {
            const session::Mismatch& m = result.mismatch;
            char text[160];
            std::snprintf(text, sizeof text,
                          "Verify failed: 0x%04X holds %02X, not %02X; %d byte%s differ. The "
                          "application was not started.",
                          static_cast<unsigned>(m.address), m.actual, m.expected, m.count,
                          m.count == 1 ? "" : "s");
            return text;
        }
        case Outcome::Succeeded:
        case Outcome::Cancelled:
        case Outcome::HandshakeRefused:
        case Outcome::Closed:
            break;
    }
    return {};
}

std::string_view retryPrompt(bool useEnglish) {
    return useEnglish ? "Check connection!Retry or cancel?" : "检测连接！重试或取消？";
}

SessionWindow::SessionWindow(AppState& state, ui::Toolkit& toolkit, ui::Window& window)
    : state_(state),
      toolkit_(toolkit),
      window_(window),
      progressBar_(window.progressBar("ProgressBar1")),
      progressLabel_(window.label("LabelProcess")),
      timer_(window.timer("Timer1")),
      comm_(window.comm("MSComm1")) {
    window_.onLoad = [this] { onLoad(); };
    window_.onUnload = [this] { onUnload(); };
    comm_.onComm = [this] { onComm(); };
    timer_.onTimer = [this] { onTimer(); };
}

session::Session::Step SessionWindow::step() const {
    return session_ ? session_->step() : session::Session::Step::Handshake;
}

double SessionWindow::progress() const {
    return session_ ? session_->progress() : 0.0;
}

std::optional<session::Result> SessionWindow::result() const {
    return session_ ? session_->result() : std::nullopt;
}

void SessionWindow::onLoad() {
    comm_.setCommPort(state_.ComPortNumber);
    comm_.setInputMode(ui::CommControl::kInputModeBinary);
    comm_.setRThreshold(0);
    progressBar_.setValue(0);
    state_.SessionSucceeded = false;
    session_.reset();
    if (!state_.UpdateMode && !state_.ReadMode) return;

    session::Request request;
    request.mode = state_.UpdateMode ? session::Mode::Update : session::Mode::Read;
    request.model = state_.ModelId;
    request.major = state_.FirmwareMajor;
    request.minor = state_.FirmwareMinor;
    request.start = state_.ImageStart;
    request.end = state_.ImageEnd;
    request.verify = verifyWrites_ && request.mode == session::Mode::Update;
    session_.emplace(request, state_.FirmwareImage);
    perform(session_->start());
}

void SessionWindow::onUnload() {
    if (session_) session_->closed();
    state_.UpdateMode = false;
    state_.ReadMode = false;
}

void SessionWindow::onComm() {
    if (!session_) return;
    if (comm_.commEvent() == ui::CommControl::kEventPortFailed) {
        perform(session_->portFailed(comm_.lastFailure()));
    } else if (comm_.commEvent() == ui::CommControl::kEventReceive) {
        perform(session_->received(comm_.input()));
    }
}

void SessionWindow::onTimer() {
    if (session_) {
        perform(session_->timerExpired());
    } else {
        timer_.setEnabled(false);
    }
}

void SessionWindow::perform(const session::Actions& actions) {
    for (const session::Action& action : actions) {
        if (!perform(action)) return;
    }
}

bool SessionWindow::perform(const session::Action& action) {
    return std::visit(
        [this](const auto& a) {
            using A = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<A, session::Transmit>) {
                if (comm_.portOpen()) comm_.input();  // stale bytes must not precede the echo
                if (comm_.output(a.bytes)) return true;
                perform(session_->portFailed(comm_.lastFailure()));
                return false;
            } else if constexpr (std::is_same_v<A, session::SetRate>) {
                const std::string settings = std::to_string(a.baud) + ",N,8,1";
                if (comm_.setSettings(settings) || !comm_.portOpen()) return true;
                perform(session_->portFailed(comm_.lastFailure()));
                return false;
            } else if constexpr (std::is_same_v<A, session::OpenPort>) {
                if (!comm_.portOpen() && !comm_.setPortOpen(true)) {
                    perform(session_->openFailed(comm_.lastFailure()));
                    return false;
                }
                window_.setCaption(std::string(state_.UpdateMode ? kUpdateCaption : kReadCaption));
            } else if constexpr (std::is_same_v<A, session::ClosePort>) {
                if (comm_.portOpen()) comm_.setPortOpen(false);
            } else if constexpr (std::is_same_v<A, session::SetThreshold>) {
                comm_.setRThreshold(a.count);
            } else if constexpr (std::is_same_v<A, session::ArmTimer>) {
                timer_.setInterval(a.milliseconds);
                timer_.setEnabled(true);
            } else if constexpr (std::is_same_v<A, session::StopTimer>) {
                timer_.setEnabled(false);
            } else if constexpr (std::is_same_v<A, session::ShowProgress>) {
                progressBar_.setValue(static_cast<float>(a.fraction));
                progressLabel_.setCaption(a.text);
            } else if constexpr (std::is_same_v<A, session::AskRetry>) {
                const ui::Answer answer = toolkit_.showMessage(
                    {std::string(retryPrompt(state_.UseEnglish)), state_.AppTitle,
                     ui::Icon::Critical, ui::Buttons::RetryCancel});
                perform(session_->retryAnswered(answer == ui::Answer::Retry));
            } else if constexpr (std::is_same_v<A, session::Ended>) {
                ended(a.result);
            } else if constexpr (std::is_same_v<A, session::CloseWindow>) {
                window_.unload();
            }
            return true;
        },
        action);
}

void SessionWindow::ended(const session::Result& result) {
    state_.SessionSucceeded = result.succeeded();
    const std::string text = endMessage(result, state_.UseEnglish);
    if (!text.empty()) {
        toolkit_.showMessage({text, state_.AppTitle, ui::Icon::Critical, ui::Buttons::Ok});
    }
}

}  // namespace comflash::desktop
