// Runs one session core over a serial port and a timer: carries out the core's actions in
// order, and feeds back what happens (bytes, expiries, failures, the retry answer). It knows
// no window and no terminal: whoever runs a session says how the retry prompt is answered and
// listens to the progress and the end.
//
// An action that fails (the port will not open, a send or a rate change fails on the open
// port) is fed back to the core at once, and the rest of its batch is dropped.
#pragma once

#include <functional>
#include <optional>

#include "driver/serial_port.h"
#include "session/session.h"

namespace comflash::driver {

// How a front end answers the retry prompt: true for Retry, false for Cancel, or none when the
// answer comes later through Driver::answerRetry. The session goes on while it waits.
using RetryPolicy = std::function<std::optional<bool>()>;

class Driver {
  public:
    Driver(SerialPort& port, Timer& timer);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Starts a session; the image must outlive it. A session still running is stopped first.
    void start(const session::Request& request, ImageBytes& image);
    // The answer to the prompt the policy left open.
    void answerRetry(bool retry);
    // Ends the session where it is (Outcome::Closed, without a word): the port closes, the
    // timer stops. Nothing happens when no session runs.
    void stop();
    // Once the session has ended, runs `then` after `milliseconds` on the session's timer
    // (a window that lingers before it closes). A new start cancels it.
    void after(int milliseconds, std::function<void()> then);

    bool running() const;
    session::Progress progress() const;
    // How the last session ended; none while it runs or before the first.
    std::optional<session::Result> result() const;

    RetryPolicy askRetry;
    // The port opened for the session.
    std::function<void()> onOpened;
    std::function<void(const session::Progress&)> onProgress;
    // Each step as it starts (before its first frame or progress), the handshake first; a
    // step that comes back (an erase between writes) is told again.
    std::function<void(session::Progress::Step)> onStep;
    // The session has ended. Runs before the port closes, and may take its time (a message
    // box): events keep arriving meanwhile and find the session over.
    std::function<void(const session::Result&)> onEnded;

  private:
    void perform(const session::Actions& actions);
    // False when the action failed and the core was told: the rest of its batch is moot.
    bool perform(const session::Action& action);
    void expired();
    void stepReached(session::Progress::Step step);

    SerialPort& port_;
    Timer& timer_;
    std::optional<session::Session> session_;
    std::function<void()> then_;
    std::optional<session::Progress::Step> step_;  // the last told
};

}  // namespace comflash::driver
