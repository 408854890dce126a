// What one session tells the user on the command line: the system's texts as lines, the
// retry prompt and its answer, and the progress display. The system's texts are printed as
// they stand: a success report on standard output, everything else on standard error.
//
// The retry prompt is answered Retry as many times as the user allowed beforehand (--retries);
// after that it is asked on a terminal. Without one it is answered as an unattended run
// answers it: Retry while the session makes progress between prompts, else Cancel.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/progress_meter.h"
#include "cli/unattended_retries.h"

namespace comflash::cli {

class Console {
  public:
    Console(std::ostream& out, std::ostream& err, bool outIsTerminal, bool inIsTerminal,
            int retries);

    // A success report ("Successful", "读取成功"), on standard output.
    void report(std::string_view text);
    // A failure's message ("Model Error！", "文档有误"), on standard error.
    void failure(std::string_view text);
    // Prints the retry prompt; returns its answer (true: Retry), or none when the user is to
    // type it.
    std::optional<bool> askRetry(std::string_view prompt);
    // The user's line (none: the input ended); none when it answers nothing and the user is
    // asked again.
    std::optional<bool> reply(const std::optional<std::string>& line);
    // A session's progress; the first call starts the meter for totalBytes. The verify pass
    // (--verify) reads the bytes back after they are written: its first call says so on a line
    // of its own and starts the meter afresh.
    void progress(double fraction, std::int64_t totalBytes, std::chrono::milliseconds now,
                  bool verifying = false);

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
    UnattendedRetries unattended_;
    bool verifyShown_ = false;
    std::optional<ProgressMeter> meter_;
};

}  // namespace comflash::cli
