// Several update sessions at once, one per port, all on one event loop: the production line's
// command. Each session has its own port, timer and driver, its own retry count and its own
// answers to the retry prompt, so that nothing one session meets (a wrong model, a silent
// device, a port pulled out) reaches another. They share the one image, which an update only
// reads.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "cli/port_supply.h"
#include "session/session.h"

namespace comflash::cli {

// The text of a session that ended without a word: the device refused the handshake.
inline constexpr std::string_view kHandshakeRefused =
    "The device refused the handshake: it does not take this firmware.";

// How the command line words a session's end: the session's own message, "Successful", or
// what happened where the session says nothing.
std::string resultText(const session::Result& result);

// "The device reports model 1:2:4." for a session that ended with another model.
std::string reportedModelText(const session::Result& result);

// "1 port", "8 ports": a count and its noun.
std::string counted(std::size_t count, std::string_view noun);

// Where a session is, or how it ended.
struct PortStatus {
    std::string port;  // as the user named it
    double fraction = 0;
    session::Session::Step step = session::Session::Step::Handshake;
    bool ended = false;
    bool succeeded = false;
    session::Result outcome;  // once ended
    std::string result;       // once ended: "Successful", or the session's words for its end
    std::chrono::milliseconds elapsed{0};  // from the start to the end, or until now
};

class ProductionRun {
  public:
    using Clock = std::function<std::chrono::milliseconds()>;

    // Every session writes `image` as `request` says. The session of ports[i] runs over
    // supply.port(i). Nobody is asked: every session's retry prompt is answered as an
    // unattended run answers it (UnattendedRetries).
    ProductionRun(const session::Request& request, const ImageBytes& image, PortSupply supply,
                  std::vector<std::string> ports, int retries, Clock clock);
    ~ProductionRun();
    ProductionRun(const ProductionRun&) = delete;
    ProductionRun& operator=(const ProductionRun&) = delete;

    // Starts every session: each sends its first handshake. onEnded runs once the last
    // session has ended (perhaps before start returns).
    void start();
    bool ended() const;
    std::function<void()> onEnded;
    // Ends every session still running where it is (Ctrl-C): their ports close.
    void stop();
    // The session of ports[i] starts a step, or shows its progress.
    std::function<void(std::size_t i, session::Progress::Step)> onStep;
    std::function<void(std::size_t i, const session::Progress&)> onProgress;

    std::vector<PortStatus> status() const;
    // The worst of the sessions' exit statuses (worstExitStatus).
    int exitStatus() const;

  private:
    struct Session;
    void sessionEnded(Session& session, const session::Result& result);

    session::Request request_;
    ImageBytes image_;
    Clock clock_;
    std::chrono::milliseconds started_{0};
    std::vector<std::unique_ptr<Session>> sessions_;
    std::size_t endedCount_ = 0;
};

}  // namespace comflash::cli
