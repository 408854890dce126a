// Several update sessions at once, one per port, all on one toolkit and its one event loop:
// the production line's command. Each session has its own program state (a copy of the image
// loaded once and of the start-up settings), its own session window with its serial control
// and timer, its own retry count and its own answers to the retry prompt, so that nothing one
// session meets (a wrong model, a silent device, a port pulled out) reaches another.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "session/form_process.h"
#include "ui/window.h"

namespace comflash::cli {

// The text of a session that ended without a word: the device refused the handshake.
inline constexpr std::string_view kHandshakeRefused =
    "The device refused the handshake: it does not take this firmware.";

// Where a session is, or how it ended.
struct PortStatus {
    std::string port;  // as the user named it
    double fraction = 0;
    session::FormProcess::Step step = session::FormProcess::Step::Handshake;
    bool ended = false;
    bool succeeded = false;
    std::string result;  // once ended: "Successful", or the text the session ended with
    std::chrono::milliseconds elapsed{0};  // from the start to the end, or until now
};

class ProductionRun {
  public:
    using Clock = std::function<std::chrono::milliseconds()>;

    // loaded holds the start-up settings and the loaded image. The session of ports[i] opens
    // port number i + 1 of the toolkit. Every session's retry prompt is answered Retry
    // `retries` times, then Cancel: nobody is asked.
    ProductionRun(const AppState& loaded, ui::Toolkit& toolkit, std::vector<std::string> ports,
                  int retries, Clock clock);
    ~ProductionRun();
    ProductionRun(const ProductionRun&) = delete;
    ProductionRun& operator=(const ProductionRun&) = delete;

    // Loads every session window: each sends its first handshake. onEnded runs once the last
    // session has ended (perhaps before start returns).
    void start();
    bool ended() const;
    std::function<void()> onEnded;

    std::vector<PortStatus> status() const;
    // 0 when every session succeeded, else 1.
    int exitStatus() const;
    // Session i's window, to ask its serial control why it failed.
    ui::Window& window(std::size_t i);
    // Session i's program state.
    const AppState& state(std::size_t i) const;

  private:
    struct Session;
    void sessionEnded(Session& session);

    ui::Toolkit& toolkit_;
    Clock clock_;
    std::chrono::milliseconds started_{0};
    std::vector<std::unique_ptr<Session>> sessions_;
    std::size_t endedCount_ = 0;
};

// The text the command line prints about a run.
class LineDisplay {
  public:
    // columns: the terminal's width; a line drawn in place is cut to fit it, since a line
    // that wrapped would not be drawn over again. 0: no limit.
    explicit LineDisplay(bool terminal, std::size_t columns = 0)
        : terminal_(terminal), columns_(columns) {}

    // What to print now. On a terminal: one line per port, redrawn in place (port, bar,
    // percentage, step or result). Elsewhere: a line for each port that has passed a further
    // quarter since the last call, or has ended.
    std::string update(const std::vector<PortStatus>& ports);
    // The table at the end: port, seconds, result; and how many succeeded.
    static std::string summary(const std::vector<PortStatus>& ports);

  private:
    bool terminal_;
    std::size_t columns_;
    std::size_t drawnLines_ = 0;
    std::vector<int> quarters_;  // plain lines: the last quarter shown per port; 5 once ended
};

}  // namespace comflash::cli
