#include "desktop/session_window.h"

#include <string>

namespace comflash::desktop {

namespace {

constexpr std::string_view kUpdateCaption = "Update";
constexpr std::string_view kReadCaption = "读取固件";

// How long the window stays once its session has ended: a moment after a failure the device
// reported, at once otherwise.
int closeDelay(session::Outcome outcome) {
    using session::Outcome;
    switch (outcome) {
        case Outcome::OtherModel:
        case Outcome::Failed:
        case Outcome::VerifyFailed:
        case Outcome::HandshakeRefused:
            return 10;
        default:
            return 1;
    }
}

}  // namespace

SessionWindow::SessionWindow(AppState& state, ui::Toolkit& toolkit, ui::Window& window)
    : state_(state),
      toolkit_(toolkit),
      window_(window),
      progressBar_(window.progressBar("ProgressBar1")),
      progressLabel_(window.label("LabelProcess")),
      port_(window.comm("MSComm1").port()),
      timer_(window.timer("Timer1")),
      driver_(port_, timer_) {
    window_.onLoad = [this] { onLoad(); };
    window_.onUnload = [this] { onUnload(); };
    driver_.onOpened = [this] {
        window_.setCaption(std::string(state_.UpdateMode ? kUpdateCaption : kReadCaption));
    };
    driver_.onProgress = [this](const session::Progress& progress) { showProgress(progress); };
    driver_.askRetry = [this]() -> std::optional<bool> {
        return toolkit_.showMessage({std::string(session::retryPrompt(state_.UseEnglish)),
                                     state_.AppTitle, ui::Icon::Critical,
                                     ui::Buttons::RetryCancel}) == ui::Answer::Retry;
    };
    driver_.onEnded = [this](const session::Result& result) { ended(result); };
}

void SessionWindow::onLoad() {
    port_.setNumber(state_.ComPortNumber);
    progressBar_.setValue(0);
    state_.SessionSucceeded = false;
    if (!state_.UpdateMode && !state_.ReadMode) return;

    session::Request request;
    request.mode = state_.UpdateMode ? session::Mode::Update : session::Mode::Read;
    request.model = state_.ModelId;
    request.major = state_.FirmwareMajor;
    request.minor = state_.FirmwareMinor;
    request.start = state_.ImageStart;
    request.end = state_.ImageEnd;
    driver_.start(request, state_.FirmwareImage);
}

void SessionWindow::onUnload() {
    driver_.stop();
    state_.UpdateMode = false;
    state_.ReadMode = false;
}

void SessionWindow::showProgress(const session::Progress& progress) {
    const double fraction = session::shownFraction(progress);
    progressBar_.setValue(static_cast<float>(fraction));
    progressLabel_.setCaption(session::progressText(fraction));
}

void SessionWindow::ended(const session::Result& result) {
    state_.SessionSucceeded = result.succeeded();
    const std::string text = session::endMessage(result, state_.UseEnglish);
    if (!text.empty()) {
        toolkit_.showMessage({text, state_.AppTitle, ui::Icon::Critical, ui::Buttons::Ok});
    }
    driver_.after(closeDelay(result.outcome), [this] { window_.unload(); });
}

}  // namespace comflash::desktop
