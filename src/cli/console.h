// The command line's side of the console toolkit: message boxes as lines of text, the answer
// to the retry prompt, and the progress display. The system's texts are printed as they
// stand: a success report on standard output, everything else on standard error.
//
// The retry prompt is answered Retry as many times as the user allowed beforehand (--retries);
// after that it is asked on a terminal, and answered Cancel when there is no terminal to ask.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/progress_meter.h"
#include "ui/window.h"

namespace comflash::cli {

class Console {
  public:
    Console(std::ostream& out, std::ostream& err, bool outIsTerminal, bool inIsTerminal,
            int retries);

    // Prints the box; returns its answer, or none when the user is to type it.
    std::optional<ui::Answer> show(const ui::MessageBox& box);
    // The user's line (none: the input ended); none when it answers nothing and the user is
    // asked again.
    std::optional<ui::Answer> reply(const std::optional<std::string>& line);
    // A session's progress; the first call starts the meter for totalBytes. The verify pass
    // (--verify) reads the bytes back after they are written: its first call says so on a line
    // of its own and starts the meter afresh.
    void progress(double fraction, std::int64_t totalBytes, std::chrono::milliseconds now,
                  bool verifying = false);

    // Whether a message other than a success report has been shown.
    bool failureShown() const { return failureShown_; }

    // Lines of the command line's own, on standard output and standard error.
    void info(std::string_view line);
    void warn(std::string_view line);

  private:
    // Ends an open progress line, so that what follows starts on a line of its own.
    void interrupt();

    std::ostream& out_;
    std::ostream& err_;
    bool outIsTerminal_;
    bool inIsTerminal_;
    int retries_;
    int retriesUsed_ = 0;
    bool verifyShown_ = false;
    bool failureShown_ = false;
    std::optional<ProgressMeter> meter_;
};

}  // namespace comflash::cli
