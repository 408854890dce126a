#include "cli/console.h"

#include <utility>

namespace comflash::cli {

namespace {

constexpr std::string_view kAsk = " [r]etry/[c]ancel: ";
constexpr std::string_view kAskAgain = "Please type r to retry or c to cancel: ";

std::string folded(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

Console::Console(std::ostream& out, std::ostream& err, bool outIsTerminal, bool inIsTerminal,
                 int retries)
    : out_(out),
      err_(err),
      outIsTerminal_(outIsTerminal),
      inIsTerminal_(inIsTerminal),
      retries_(retries),
      unattended_(retries) {}

void Console::report(std::string_view text) {
    interrupt();
    out_ << text << '\n' << std::flush;
}

void Console::failure(std::string_view text) {
    interrupt();
    err_ << text << '\n' << std::flush;
}

std::optional<bool> Console::askRetry(std::string_view prompt) {
    interrupt();
    err_ << prompt;
    if (!inIsTerminal_) {
        switch (unattended_.answer()) {
            case UnattendedRetries::Answer::Progress:
                err_ << " Retry (the device took more since the last time)\n" << std::flush;
                return true;
            case UnattendedRetries::Answer::Allowed:
                err_ << " Retry (" << unattended_.allowedUsed() << " of --retries " << retries_
                     << ")\n"
                     << std::flush;
                return true;
            case UnattendedRetries::Answer::Cancel:
                err_ << " Cancel (no terminal to ask)\n" << std::flush;
                return false;
        }
    }
    if (retriesUsed_ < retries_) {
        ++retriesUsed_;
        err_ << " Retry (" << retriesUsed_ << " of --retries " << retries_ << ")\n" << std::flush;
        return true;
    }
    err_ << kAsk << std::flush;
    return std::nullopt;
}

std::optional<bool> Console::reply(const std::optional<std::string>& line) {
    if (!line) {
        err_ << "\nCancel (the input ended)\n" << std::flush;
        return false;
    }
    const std::string answer = folded(*line);
    if (answer == "r" || answer == "retry") return true;
    if (answer == "c" || answer == "cancel") return false;
    err_ << kAskAgain << std::flush;
    return std::nullopt;
}

void Console::progress(double fraction, std::int64_t totalBytes, std::chrono::milliseconds now,
                       bool verifying) {
    unattended_.progressed();
    // The pass starts from nothing; the write's last figure may still come after the step
    // has changed.
    if (verifying && fraction <= 0 && !std::exchange(verifyShown_, true)) {
        info("Verifying: reading the written bytes back");
        meter_.reset();
    }
    if (!meter_) meter_.emplace(totalBytes, outIsTerminal_);
    out_ << meter_->update(fraction, now) << std::flush;
}

void Console::info(std::string_view line) {
    interrupt();
    out_ << line << '\n' << std::flush;
}

void Console::warn(std::string_view line) {
    interrupt();
    err_ << line << '\n' << std::flush;
}

void Console::interrupt() {
    if (meter_) out_ << meter_->interrupt() << std::flush;
}

}  // namespace comflash::cli
