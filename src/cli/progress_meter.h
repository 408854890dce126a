// The progress of a session as text. On a terminal: one line redrawn in place, with a bar,
// the percentage, the bytes done of the total, the rate and the time left. Elsewhere (a log,
// a pipe): one plain line each time the progress passes a further 10%. Time is an input, so
// the text of any moment can be checked.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace comflash::cli {

// The whole percent shown for a fraction done (0 to 1, anything else clamped): 100 only once
// everything is done.
int percentShown(double fraction);

class ProgressMeter {
  public:
    ProgressMeter(std::int64_t totalBytes, bool terminal);

    // The text to print for `fraction` (0 to 1) at `now` (from any fixed origin); empty when
    // there is nothing new to show. Rate and time count from the last update with nothing
    // done. A terminal's text starts with a carriage return and has
    // no line end; a plain line ends with one.
    std::string update(double fraction, std::chrono::milliseconds now);
    // A line end when a terminal line is open, so that other output starts on a line of its
    // own; else empty. The next update starts a new line.
    std::string interrupt();

  private:
    std::string figures(std::int64_t done, std::chrono::milliseconds elapsed) const;

    std::int64_t total_;
    bool terminal_;
    std::chrono::milliseconds start_{0};
    int lastDecile_ = 0;     // plain lines: the last multiple of 10% shown
    bool lineOpen_ = false;  // terminal: a progress line is on the screen
    std::size_t lineWidth_ = 0;
};

}  // namespace comflash::cli
