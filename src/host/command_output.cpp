#include "host/command_output.h"

namespace comflash::host {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string withoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

void CommandOutput::addOut(std::string_view bytes) {
    if (firstLineComplete_) return;
    const auto end = bytes.find('\n');
    firstLine_.append(bytes.substr(0, end).substr(0, kLineLimit - firstLine_.size()));
    firstLineComplete_ = end != std::string_view::npos || firstLine_.size() == kLineLimit;
}

void CommandOutput::addErr(std::string_view bytes) {
    constexpr std::size_t kTailLimit = 2 * kLineLimit;
    if (bytes.size() >= kTailLimit) {
        errTail_.assign(bytes.substr(bytes.size() - kTailLimit));
        return;
    }
    errTail_.append(bytes);
    if (errTail_.size() > kTailLimit) errTail_.erase(0, errTail_.size() - kTailLimit);
}

std::string CommandOutput::firstLine() const {
    return withoutLineEnd(firstLine_);
}

std::string CommandOutput::lastErrorLine() const {
    const auto last = errTail_.find_last_not_of(kBlanks);
    if (last == std::string::npos) return {};
    const auto newline = errTail_.rfind('\n', last);
    const auto start = newline == std::string::npos ? 0 : newline + 1;
    std::string line = errTail_.substr(start, last + 1 - start);
    if (line.size() > kLineLimit) line.erase(0, line.size() - kLineLimit);
    return line;
}

}  // namespace comflash::host
