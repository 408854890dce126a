// What is kept of a hook command's output, fed in pieces as they come through the pipes: the
// first line of its standard output (its answer, such as a serial number) and the last line of
// its standard error (why it failed). Both are bounded, so that a chatty command costs nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace comflash::host {

class CommandOutput {
  public:
    // Longest first line kept; the rest of a longer one is dropped.
    static constexpr std::size_t kLineLimit = 1024;

    void addOut(std::string_view bytes);
    void addErr(std::string_view bytes);

    // The first line has ended (or reached the limit): later output changes nothing.
    bool firstLineComplete() const { return firstLineComplete_; }
    // Without its line end (LF or CR LF).
    std::string firstLine() const;
    // The last line of standard error that holds more than blanks, without its line end.
    std::string lastErrorLine() const;

  private:
    std::string firstLine_;
    bool firstLineComplete_ = false;
    std::string errTail_;  // the end of standard error, at most twice kLineLimit bytes
};

}  // namespace comflash::host
