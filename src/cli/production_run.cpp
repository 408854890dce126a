#include "cli/production_run.h"

#include <algorithm>

#include "cli/exit_status.h"
#include "cli/unattended_retries.h"
#include "driver/driver.h"
#include "session/messages.h"

namespace comflash::cli {

std::string resultText(const session::Result& result) {
    switch (result.outcome) {
        case session::Outcome::Succeeded:
            return std::string(session::kSucceededText) + (result.verified ? ", verified" : "");
        case session::Outcome::Cancelled:
            return std::string(session::retryPrompt(true)) + " Cancel";
        case session::Outcome::HandshakeRefused:
            return std::string(kHandshakeRefused);
        case session::Outcome::Closed:
            return "Stopped before the session ended.";
        default:
            return session::endMessage(result, true);
    }
}

std::string reportedModelText(const session::Result& result) {
    const auto& m = result.reportedModel;
    return "The device reports model " + std::to_string(m[0]) + ":" + std::to_string(m[1]) + ":" +
           std::to_string(m[2]) + ".";
}

std::string counted(std::size_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

struct ProductionRun::Session {
    Session(std::unique_ptr<driver::SerialPort> p, std::unique_ptr<driver::Timer> t)
        : port(std::move(p)), timer(std::move(t)), driver(*port, *timer) {}

    std::unique_ptr<driver::SerialPort> port;
    std::unique_ptr<driver::Timer> timer;
    driver::Driver driver;
    PortStatus status;
    std::optional<UnattendedRetries> retries;
};

ProductionRun::ProductionRun(const session::Request& request, const ImageBytes& image,
                             PortSupply supply, std::vector<std::string> ports, int retries,
                             Clock clock)
    : request_(request), image_(image), clock_(std::move(clock)) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto made = std::make_unique<Session>(supply.port(i), supply.timer());
        Session& session = *made;
        session.status.port = std::move(ports[i]);
        session.retries.emplace(retries);
        session.driver.askRetry = [&session]() -> std::optional<bool> {
            return session.retries->answer() != UnattendedRetries::Answer::Cancel;
        };
        session.driver.onProgress = [this, &session, i](const session::Progress& progress) {
            session.retries->progressed();
            if (onProgress) onProgress(i, progress);
        };
        session.driver.onStep = [this, i](session::Progress::Step step) {
            if (onStep) onStep(i, step);
        };
        session.driver.onEnded = [this, &session](const session::Result& result) {
            sessionEnded(session, result);
        };
        sessions_.push_back(std::move(made));
    }
}

ProductionRun::~ProductionRun() {
    onEnded = nullptr;
    for (auto& session : sessions_) session->driver.onEnded = nullptr;
}

void ProductionRun::start() {
    started_ = clock_();
    if (sessions_.empty() && onEnded) onEnded();
    for (auto& session : sessions_) session->driver.start(request_, image_);
}

void ProductionRun::stop() {
    for (auto& session : sessions_) {
        if (!session->driver.running()) continue;
        session->driver.stop();
        sessionEnded(*session, session->driver.result().value_or(session::Result{}));
    }
}

bool ProductionRun::ended() const {
    return endedCount_ == sessions_.size();
}

void ProductionRun::sessionEnded(Session& session, const session::Result& result) {
    PortStatus& status = session.status;
    if (status.ended) return;
    status.ended = true;
    status.elapsed = clock_() - started_;
    status.fraction = session::shownFraction(session.driver.progress());
    status.step = session.driver.progress().step;
    status.outcome = result;
    status.succeeded = result.succeeded();
    status.result = resultText(result);
    if (++endedCount_ == sessions_.size() && onEnded) onEnded();
}

std::vector<PortStatus> ProductionRun::status() const {
    std::vector<PortStatus> all;
    const auto now = clock_() - started_;
    for (const auto& session : sessions_) {
        PortStatus status = session->status;
        if (!status.ended) {
            status.fraction = session::shownFraction(session->driver.progress());
            status.step = session->driver.progress().step;
            status.elapsed = now;
        }
        all.push_back(std::move(status));
    }
    return all;
}

int ProductionRun::exitStatus() const {
    std::vector<ExitStatus> statuses;
    for (const auto& session : sessions_) {
        const PortStatus& status = session->status;
        statuses.push_back(status.ended ? exitStatusOf(status.outcome, status.step) : kExitFailed);
    }
    return worstExitStatus(statuses);
}

}  // namespace comflash::cli
