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
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "desktop/session_window.h"
#include "session/session.h"
#include "ui/window.h"

namespace comflash::cli {

// The text of a session that ended without a word: the device refused the handshake.
inline constexpr std::string_view kHandshakeRefused =
    "The device refused the handshake: it does not take this firmware.";

// How the command line words a session's end: the session window's own message, "Successful",
// or what happened where the window says nothing.
std::string resultText(const session::Result& result);

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

// A session's own toolkit: windows, pauses and ports are the shared toolkit's; its message
// boxes are its own and never shown to anybody. The retry prompt is answered Retry while
// `waiting` says so (the station looking for a board), else from the count.
class SessionToolkit final : public ui::Toolkit {
  public:
    SessionToolkit(ui::Toolkit& base, int retries) : base_(base), retries_(retries) {}

    std::unique_ptr<ui::Window> createWindow(const ui::WindowEntry& entry) override {
        return base_.createWindow(entry);
    }
    ui::Answer showMessage(const ui::MessageBox& box) override;
    void sleep(int milliseconds) override { base_.sleep(milliseconds); }
    std::optional<std::string> showFileDialog(const ui::FileDialogRequest& request) override {
        return base_.showFileDialog(request);
    }
    std::string portDevice(int number) const override { return base_.portDevice(number); }

    void retryWhile(std::function<bool()> waiting) { waiting_ = std::move(waiting); }
    // A new session: the count starts again.
    void resetRetries() { retriesUsed_ = 0; }

  private:
    ui::Toolkit& base_;
    int retries_;
    int retriesUsed_ = 0;
    std::function<bool()> waiting_;
};

// One port's session with everything of its own: program state, toolkit, window and the
// session window over it. Each show() of the window runs one session.
struct PortSession {
    PortSession(const AppState& loaded, ui::Toolkit& base, int number, int retries);
    // Makes the next show() an update session again (the last one's end cleared the mode).
    void prepare();

    AppState state;
    SessionToolkit toolkit;
    std::unique_ptr<ui::Window> window;
    desktop::SessionWindow process;
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

    // Every session reads the written range back before its go frame (--verify).
    void verifyWrites(bool on);
    // Loads every session window: each sends its first handshake. onEnded runs once the last
    // session has ended (perhaps before start returns).
    void start();
    bool ended() const;
    std::function<void()> onEnded;

    std::vector<PortStatus> status() const;
    // 0 when every session succeeded, else 1.
    int exitStatus() const;
    // Session i's window.
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

}  // namespace comflash::cli
