// How the retry prompt is answered where nobody is there to answer it (no terminal, several
// ports, the station): Retry when the session made progress since the last prompt (since its
// start, for the first), since a noisy line that still takes block after block is worth going
// on with; else Retry as many times as --retries allows, then Cancel. A device that stays
// silent is cancelled at the same prompt as ever.
#pragma once

namespace comflash::cli {

class UnattendedRetries {
  public:
    explicit UnattendedRetries(int retries) : retries_(retries) {}

    // The device accepted a step (an erase, a block).
    void progressed() { ++progress_; }

    enum class Answer { Progress, Allowed, Cancel };
    Answer answer();
    // How many Retry answers --retries has given.
    int allowedUsed() const { return used_; }

  private:
    int retries_;
    int used_ = 0;
    long progress_ = 0;
    long atLastPrompt_ = 0;
};

}  // namespace comflash::cli
