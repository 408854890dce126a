// comflash-cli's command line, read with Qt's parser:
//   comflash-cli write FILE.hex --port PORT [--port PORT ...] [--model A:B:C] [--config FILE]
//                [--retries N] [--verify]
//   comflash-cli read OUT.hex --port PORT [--model A:B:C] [--config FILE] [--retries N]
//   comflash-cli station FILE.hex --port PORT [--port PORT ...] [--verify] [--model A:B:C]
//                [--config FILE] [--retries N] [--log FILE.csv]
//   comflash-cli ports
// --help (after a command: that command's) and --version print and end the program.
#pragma once

#include <QStringList>
#include <string>
#include <variant>

#include "cli/request.h"

namespace comflash::cli {

// The request, or the reason it is unusable (one line, for standard error).
std::variant<Request, std::string> parseRequest(const QStringList& arguments);

}  // namespace comflash::cli
