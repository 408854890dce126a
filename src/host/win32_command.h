// A hook command on Windows: `cmd.exe /d /s /c "COMMAND"` inside a job object, so that ending
// it ends everything it started too. A thread of its own watches it and posts to `notices`,
// which must belong to the calling thread; its result comes there.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/factory.h"
#include "ui/win32/notices.h"

namespace comflash::host {

std::unique_ptr<cli::RunningCommand> runWin32Command(
    const std::string& command, const cli::Environment& environment,
    std::function<void(const cli::CommandResult&)> done, ui::win32::Notices& notices);

}  // namespace comflash::host
