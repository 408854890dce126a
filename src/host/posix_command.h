// A hook command on Linux: `/bin/sh -c COMMAND` in a process group of its own, so that ending
// it ends everything it started too. Its result comes on the Qt event loop's thread (a
// QCoreApplication must exist); its standard error is kept from the terminal, whose lines the
// station draws.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/factory.h"

namespace comflash::host {

std::unique_ptr<cli::RunningCommand> runPosixCommand(
    const std::string& command, const cli::Environment& environment,
    std::function<void(const cli::CommandResult&)> done);

}  // namespace comflash::host
