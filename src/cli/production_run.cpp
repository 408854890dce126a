#include "cli/production_run.h"

#include <algorithm>
#include <optional>

#include "desktop/update_command.h"

namespace comflash::cli {

std::string resultText(const session::Result& result) {
    switch (result.outcome) {
        case session::Outcome::Succeeded:
            return std::string(desktop::kSucceededText) + (result.verified ? ", verified" : "");
        case session::Outcome::Cancelled:
            return std::string(desktop::retryPrompt(true)) + " Cancel";
        case session::Outcome::HandshakeRefused:
            return std::string(kHandshakeRefused);
        case session::Outcome::Closed:
            return "The session window was closed.";
        default:
            return desktop::endMessage(result, true);
    }
}

ui::Answer SessionToolkit::showMessage(const ui::MessageBox& box) {
    if (box.buttons != ui::Buttons::RetryCancel) return ui::Answer::Ok;
    if (waiting_ && waiting_()) return ui::Answer::Retry;
    if (retriesUsed_ < retries_) {
        ++retriesUsed_;
        return ui::Answer::Retry;
    }
    return ui::Answer::Cancel;
}

PortSession::PortSession(const AppState& loaded, ui::Toolkit& base, int number, int retries)
    : state(loaded),
      toolkit(base, retries),
      window(toolkit.createWindow(ui::kFormProcess)),
      process(state, toolkit, *window) {
    state.ComPortNumber = static_cast<std::int16_t>(number);
    prepare();
}

void PortSession::prepare() {
    state.UpdateMode = true;
    state.ReadMode = false;
    state.SessionSucceeded = false;
    toolkit.resetRetries();
}

struct ProductionRun::Session : PortSession {
    Session(const AppState& loaded, ui::Toolkit& base, std::string port, int number, int retries)
        : PortSession(loaded, base, number, retries) {
        status.port = std::move(port);
    }

    PortStatus status;
};

ProductionRun::ProductionRun(const AppState& loaded, ui::Toolkit& toolkit,
                             std::vector<std::string> ports, int retries, Clock clock)
    : toolkit_(toolkit), clock_(std::move(clock)) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto session = std::make_unique<Session>(loaded, toolkit_, std::move(ports[i]),
                                                 static_cast<int>(i + 1), retries);
        Session& own = *session;
        // The session's own unload handler runs first; the run learns of the end after it.
        ui::Handler unload = std::move(own.window->onUnload);
        own.window->onUnload = [this, &own, unload = std::move(unload)] {
            if (unload) unload();
            sessionEnded(own);
        };
        sessions_.push_back(std::move(session));
    }
}

ProductionRun::~ProductionRun() {
    // The windows unload as they go; nobody is told any more.
    onEnded = nullptr;
    for (auto& session : sessions_) session->window->onUnload = nullptr;
}

void ProductionRun::verifyWrites(bool on) {
    for (auto& session : sessions_) session->process.verifyWrites(on);
}

void ProductionRun::start() {
    started_ = clock_();
    if (sessions_.empty() && onEnded) onEnded();
    for (auto& session : sessions_) session->window->show();
}

bool ProductionRun::ended() const {
    return endedCount_ == sessions_.size();
}

void ProductionRun::sessionEnded(Session& session) {
    PortStatus& status = session.status;
    if (status.ended) return;
    status.ended = true;
    status.elapsed = clock_() - started_;
    status.fraction = session.process.progress();
    status.step = session.process.step();
    status.outcome = session.process.result().value_or(session::Result{});
    status.succeeded = status.outcome.succeeded();
    status.result = resultText(status.outcome);
    if (++endedCount_ == sessions_.size() && onEnded) onEnded();
}

std::vector<PortStatus> ProductionRun::status() const {
    std::vector<PortStatus> all;
    const auto now = clock_() - started_;
    for (const auto& session : sessions_) {
        PortStatus status = session->status;
        if (!status.ended) {
            status.fraction = session->process.progress();
            status.step = session->process.step();
            status.elapsed = now;
        }
        all.push_back(std::move(status));
    }
    return all;
}

int ProductionRun::exitStatus() const {
    const bool all = std::all_of(sessions_.begin(), sessions_.end(),
                                 [](const auto& session) { return session->status.succeeded; });
    return all ? 0 : 1;
}

ui::Window& ProductionRun::window(std::size_t i) {
    return *sessions_.at(i)->window;
}

const AppState& ProductionRun::state(std::size_t i) const {
    return sessions_.at(i)->state;
}

}  // namespace comflash::cli
