// The session window: a driver over the window's serial control and timer, and a drawn window.
// Its load starts the session and its close box stops it; it shows the session's progress on
// the bar and the "Complete:" label, asks the retry prompt in a message box, reports the end
// in one, and closes itself a moment later. It decides nothing the core could decide.
//
// Each load runs one session from the shared program state: an update when UpdateMode is set,
// a read-back into FirmwareImage when ReadMode is set. SessionSucceeded tells the main window
// how it ended.
#pragma once

#include <optional>
#include <string_view>

#include "app/app_state.h"
#include "driver/driver.h"
#include "session/messages.h"
#include "session/session.h"
#include "ui/driver_adapters.h"
#include "ui/port_control.h"
#include "ui/window.h"

namespace comflash::desktop {

class SessionWindow {
  public:
    // window is the session window (catalogue entry kFormProcess); its controls are bound here
    // once and its handlers attached.
    SessionWindow(AppState& state, ui::Toolkit& toolkit, ui::Window& window);
    SessionWindow(const SessionWindow&) = delete;
    SessionWindow& operator=(const SessionWindow&) = delete;

  private:
    void onLoad();
    void onUnload();
    void showProgress(const session::Progress& progress);
    void ended(const session::Result& result);

    AppState& state_;
    ui::Toolkit& toolkit_;
    ui::Window& window_;
    ui::ProgressBar& progressBar_;
    ui::Label& progressLabel_;
    ui::LinePort& port_;
    ui::ControlTimer timer_;
    driver::Driver driver_;
};

}  // namespace comflash::desktop
