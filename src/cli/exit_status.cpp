#include "cli/exit_status.h"

#include <algorithm>

namespace comflash::cli {

ExitStatus exitStatusOf(const session::Result& result, session::Progress::Step lastStep) {
    using session::Outcome;
    const bool answered = lastStep != session::Progress::Step::Handshake;
    switch (result.outcome) {
        case Outcome::Succeeded:
            return kExitSucceeded;
        case Outcome::VerifyFailed:
            return kExitVerifyMismatch;
        case Outcome::PortUnavailable:
            return kExitUnreachable;
        case Outcome::PortFailed:
        case Outcome::Cancelled:
            return answered ? kExitFailed : kExitUnreachable;
        case Outcome::OtherModel:
        case Outcome::Failed:
        case Outcome::HandshakeRefused:
        case Outcome::Closed:  // interrupted: the user's doing, whether or not a device answered
            break;
    }
    return kExitFailed;
}

ExitStatus worstExitStatus(const std::vector<ExitStatus>& statuses) {
    // Worst first.
    constexpr ExitStatus kOrder[] = {kExitFailed, kExitVerifyMismatch, kExitUnreachable};
    for (const ExitStatus status : kOrder) {
        if (std::find(statuses.begin(), statuses.end(), status) != statuses.end()) return status;
    }
    return kExitSucceeded;
}

}  // namespace comflash::cli
