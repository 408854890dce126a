#include "cli/line_display.h"

#include <algorithm>
#include <cstdio>

#include "cli/progress_meter.h"

namespace comflash::cli {

namespace {

constexpr std::size_t kBarWidth = 20;
constexpr int kQuarters = 4;
constexpr int kEndedQuarter = kQuarters + 1;

std::string stepText(session::Session::Step step) {
    switch (step) {
        case session::Session::Step::Handshake:
            return "identifying the device";
        case session::Session::Step::Erase:
            return "erasing";
        case session::Session::Step::Write:
            return "writing";
        case session::Session::Step::Verify:
            return "verifying";
        case session::Session::Step::Read:
            return "reading";
        case session::Session::Step::Go:
            return "starting the application";
    }
    return {};
}

// What a port's line says after its name: where the session is, or how it ended.
std::string stateText(const PortStatus& port) {
    return port.ended ? port.result : stepText(port.step);
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

std::size_t portWidth(const std::vector<PortStatus>& ports) {
    std::size_t width = 4;  // "Port"
    for (const PortStatus& port : ports) width = std::max(width, port.port.size());
    return width;
}

std::string percentText(int percent) {
    char text[8];
    std::snprintf(text, sizeof text, "%3d%%", percent);
    return text;
}

// The columns a code point takes on a terminal: two for the wide East Asian forms.
std::size_t columnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6);
    return wide ? 2 : 1;
}

// The longest start of a UTF-8 text that takes at most `columns` columns.
std::string fitted(const std::string& text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        length = std::min(length, text.size() - at);
        char32_t c = length == 1 ? lead : lead & (0x3Fu >> (length - 1));
        for (std::size_t i = 1; i < length; ++i) {
            c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
        }
        used += columnsOf(c);
        if (used > columns) break;
        at += length;
    }
    return text.substr(0, at);
}

}  // namespace

std::string LineDisplay::update(const std::vector<PortStatus>& ports) {
    const std::size_t width = portWidth(ports);
    std::string text;
    if (terminal_) {
        // Back to the first line drawn, then every line again, each cleared to its end.
        if (drawnLines_ > 0) text += "\x1b[" + std::to_string(drawnLines_) + "A";
        for (const PortStatus& port : ports) {
            const int percent = percentShown(port.fraction);
            const auto filled = static_cast<std::size_t>(percent) * kBarWidth / 100;
            std::string line = padded(port.port, width) + "  [" + std::string(filled, '#') +
                               std::string(kBarWidth - filled, '.') + "] " + percentText(percent) +
                               "  " + stateText(port);
            // The last column stays free: a line that fills it leaves the cursor past it.
            if (columns_ > 1) line = fitted(line, columns_ - 1);
            text += "\r" + line + "\x1b[K\n";
        }
        drawnLines_ = ports.size();
        return text;
    }
    quarters_.resize(ports.size(), 0);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortStatus& port = ports[i];
        const int percent = percentShown(port.fraction);
        // All written is not yet done: the go frame's line is the end's.
        const int quarter =
            port.ended ? kEndedQuarter : std::min(kQuarters - 1, percent * kQuarters / 100);
        if (quarter <= quarters_[i]) continue;
        quarters_[i] = quarter;
        text +=
            padded(port.port, width) + "  " + percentText(percent) + "  " + stateText(port) + "\n";
    }
    return text;
}

std::string LineDisplay::summary(const std::vector<PortStatus>& ports) {
    const std::size_t width = portWidth(ports);
    std::string text = padded("Port", width) + "  Seconds  Result\n";
    int succeeded = 0;
    for (const PortStatus& port : ports) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%7.1f",
                      std::chrono::duration<double>(port.elapsed).count());
        text += padded(port.port, width) + "  " + seconds + "  " + port.result + "\n";
        if (port.succeeded) ++succeeded;
    }
    text += std::to_string(succeeded) + " of " + std::to_string(ports.size()) +
            (ports.size() == 1 ? " port" : " ports") + " succeeded.\n";
    return text;
}

}  // namespace comflash::cli
