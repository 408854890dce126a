// Which processes hold a device open, read from /proc on Linux: each process's fd folder
// holds a link per open file. Processes of other users cannot be looked into unless the
// caller may; they are then not named.
#pragma once

#include <string>

namespace comflash::host {

// "held by minicom (pid 1234)", or "held by minicom (pid 1234) and screen (pid 77)", for the
// processes under `procRoot` (standing for /proc) that have `device` open; empty when none is
// seen. `device` may be a link: its target is what the processes hold.
std::string deviceHolders(const std::string& device, const std::string& procRoot = "/proc");

}  // namespace comflash::host
