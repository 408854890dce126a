// The session window: the adapter between the window's controls and the session core. It maps
// the window's events (load, the serial control's receive and failure events, the timer's
// tick, the close box) to the core's inputs, and carries out the core's actions on the serial
// control, the timer, the progress bar and label, and in message boxes. It decides nothing the
// core could decide.
//
// Each load runs one session from the shared program state: an update when UpdateMode is set,
// a read-back into FirmwareImage when ReadMode is set. SessionSucceeded tells the main window
// how it ended; result() tells the rest.
#pragma once

#include <optional>
#include <string_view>

#include "app/app_state.h"
#include "session/session.h"
#include "ui/window.h"

namespace comflash::desktop {

// What the session window tells the user about a session's end: empty when it says nothing
// (success is the main window's to report, and a cancel or a refused handshake end quietly).
std::string endMessage(const session::Result& result, bool useEnglish);

// The retry prompt's text.
std::string_view retryPrompt(bool useEnglish);

class SessionWindow {
  public:
    // window is the session window (catalogue entry kFormProcess); its controls are bound here
    // once and its handlers attached.
    SessionWindow(AppState& state, ui::Toolkit& toolkit, ui::Window& window);
    SessionWindow(const SessionWindow&) = delete;
    SessionWindow& operator=(const SessionWindow&) = delete;

    // Updates from now on read the written range back before their go frame (the command
    // line's --verify; the window's own Update never does).
    void verifyWrites(bool on) { verifyWrites_ = on; }

    // Where the session of the last load is.
    session::Session::Step step() const;
    double progress() const;
    // How the session of the last load ended; none while it runs.
    std::optional<session::Result> result() const;

  private:
    void onLoad();
    void onUnload();
    void onComm();
    void onTimer();
    void perform(const session::Actions& actions);
    // False when the action failed and the core was told: the rest of its batch is moot.
    bool perform(const session::Action& action);
    void ended(const session::Result& result);

    AppState& state_;
    ui::Toolkit& toolkit_;
    ui::Window& window_;
    ui::ProgressBar& progressBar_;
    ui::Label& progressLabel_;
    ui::Timer& timer_;
    ui::CommControl& comm_;
    bool verifyWrites_ = false;
    std::optional<session::Session> session_;
};

}  // namespace comflash::desktop
