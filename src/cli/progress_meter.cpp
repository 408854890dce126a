#include "cli/progress_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace comflash::cli {

namespace {

constexpr int kBarWidth = 30;
// Below this the rate says little: the first block has hardly gone out.
constexpr std::chrono::milliseconds kRateSettles{250};

std::string duration(std::int64_t seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(
            text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
            static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    }
    return text;
}

std::string rate(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond < 1024) {
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    } else {
        std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024);
    }
    return text;
}

}  // namespace

int percentShown(double fraction) {
    fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    return fraction >= 1 ? 100 : std::min(99, static_cast<int>(fraction * 100));
}

ProgressMeter::ProgressMeter(std::int64_t totalBytes, bool terminal)
    : total_(std::max<std::int64_t>(totalBytes, 0)), terminal_(terminal) {}

std::string ProgressMeter::update(double fraction, std::chrono::milliseconds now) {
    fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    const int percent = percentShown(fraction);
    const auto done =
        fraction >= 1 ? total_
                      : std::min(total_, static_cast<std::int64_t>(
                                             std::llround(fraction * static_cast<double>(total_))));
    // The clock starts when the transfer does: at the last update that found nothing done
    // yet (a session shows 0 as it opens, and again once the device has answered).
    if (done == 0) start_ = now;
    const std::string numbers = figures(done, now - start_);

    if (!terminal_) {
        if (percent / 10 <= lastDecile_) return {};
        lastDecile_ = percent / 10;
        return std::to_string(percent) + "%  " + numbers + "\n";
    }
    const int filled = percent * kBarWidth / 100;
    char head[32];
    std::snprintf(head, sizeof head, "] %3d%%  ", percent);
    std::string line(1, '[');
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    line += head;
    line += numbers;
    // Blanks overwrite what is left of a longer line before.
    const std::size_t width = line.size();
    if (lineOpen_ && width < lineWidth_) line.append(lineWidth_ - width, ' ');
    lineWidth_ = width;
    lineOpen_ = true;
    return '\r' + line;
}

std::string ProgressMeter::interrupt() {
    if (!lineOpen_) return {};
    lineOpen_ = false;
    lineWidth_ = 0;
    return "\n";
}

std::string ProgressMeter::figures(std::int64_t done, std::chrono::milliseconds elapsed) const {
    std::string text = std::to_string(done) + "/" + std::to_string(total_) + " bytes";
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const bool rateKnown = elapsed >= kRateSettles && done > 0;
    const double perSecond = rateKnown ? static_cast<double>(done) / seconds : 0;
    if (rateKnown) text += "  " + rate(perSecond);
    if (done == total_) return text + "  in " + duration(std::llround(seconds));
    if (!rateKnown) return text;
    return text + "  " + duration(std::llround(static_cast<double>(total_ - done) / perSecond)) +
           " left";
}

}  // namespace comflash::cli
