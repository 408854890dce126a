// The command line's exit status, and what a session's end makes of it: a script learns from
// it what to do next (nothing; look at the device; check the input; check the cable and run
// again; write again or set the board aside).
#pragma once

#include <vector>

#include "session/session.h"

namespace comflash::cli {

enum ExitStatus : int {
    kExitSucceeded = 0,
    kExitFailed = 1,       // the device refused or failed, the run was interrupted, a file unsaved
    kExitBadInput = 2,     // usage, Config.txt, firmware file: nothing was sent to the device
    kExitUnreachable = 3,  // no device answered: the port missing or busy, silence, Cancel
    kExitVerifyMismatch = 4,  // --verify: the device's memory differs from the file's bytes
};

// A session's exit status. `lastStep` is the step it ended in: one past the handshake means
// the device answered it, so that a port that fails or a prompt cancelled afterwards is the
// device's failure, not an unreachable one.
ExitStatus exitStatusOf(const session::Result& result, session::Progress::Step lastStep);

// Several sessions at once: the worst of their statuses in the order 1, 4, 3, 0, so that a
// narrower code (4, 3) stands only when it holds for every session that did not succeed.
ExitStatus worstExitStatus(const std::vector<ExitStatus>& statuses);

}  // namespace comflash::cli
