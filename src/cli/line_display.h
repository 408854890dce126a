// What the command line prints about a run of sessions on several ports: a line per port while
// they run, and a table at the end.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/production_run.h"

namespace comflash::cli {

// The text the command line prints about a run.
class LineDisplay {
  public:
    // columns: the terminal's width; a line drawn in place is cut to fit it, since a line
    // that wrapped would not be drawn over again. 0: no limit.
    explicit LineDisplay(bool terminal, std::size_t columns = 0)
        : terminal_(terminal), columns_(columns) {}

    // What to print now. On a terminal: one line per port, redrawn in place (port, bar,
    // percentage, step or result). Elsewhere: a line for each port that has passed a further
    // quarter since the last call, or has ended.
    std::string update(const std::vector<PortStatus>& ports);
    // The table at the end: port, seconds, result; and how many succeeded.
    static std::string summary(const std::vector<PortStatus>& ports);

  private:
    bool terminal_;
    std::size_t columns_;
    std::size_t drawnLines_ = 0;
    std::vector<int> quarters_;  // plain lines: the last quarter shown per port; 5 once ended
};

}  // namespace comflash::cli
