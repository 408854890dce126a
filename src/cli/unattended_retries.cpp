#include "cli/unattended_retries.h"

namespace comflash::cli {

UnattendedRetries::Answer UnattendedRetries::answer() {
    const bool moved = progress_ != atLastPrompt_;
    atLastPrompt_ = progress_;
    if (moved) return Answer::Progress;
    if (used_ < retries_) {
        ++used_;
        return Answer::Allowed;
    }
    return Answer::Cancel;
}

}  // namespace comflash::cli
