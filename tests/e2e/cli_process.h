// comflash-cli as a child process, run to its end: with standard input from /dev/null and its
// output collected, or on a pseudo-terminal whose prompt the test answers.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace comflash::e2e {

struct CliRun {
    int exit = -1;  // -1: it did not end in time, or was killed
    std::string out;
    std::string err;  // on a terminal, everything is in out
};

// configHome becomes XDG_CONFIG_HOME, so that COMn are named by its comflash/ports folder.
CliRun runCli(const std::vector<std::string>& args, const std::string& configHome);

// The same, sent `signal` once `when` first holds for its output so far.
CliRun runCliSignalled(const std::vector<std::string>& args, const std::string& configHome,
                       const std::function<bool(const std::string& out)>& when, int signal);

// The same run as the system's unprivileged user `user` (the test must run as root).
CliRun runCliAs(const std::string& user, const std::vector<std::string>& args,
                const std::string& configHome,
                const std::function<bool(const std::string& out)>& when = {}, int signal = 0);

// The same on a pseudo-terminal: each time `prompt` appears in the output (once more than
// it had), `answer` is typed.
CliRun runCliOnTerminal(const std::vector<std::string>& args, const std::string& configHome,
                        const std::string& prompt, const std::string& answer);

}  // namespace comflash::e2e
