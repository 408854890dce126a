// comflash-cli's command line, and its help, for every platform:
//   comflash-cli write FILE.hex --port PORT [--port PORT ...] [--model A:B:C] [--config FILE]
//                [--retries N] [--verify] [--serial-at ADDR [--serial-format F]
//                (--serial-counter FILE | --serial-list FILE)]   (one port only)
//   comflash-cli read OUT.hex --port PORT [--model A:B:C] [--config FILE] [--retries N]
//   comflash-cli station FILE.hex --port PORT [--port PORT ...] [--verify] [--model A:B:C]
//                [--config FILE] [--retries N] [--log FILE.csv] [--serial-at ADDR ...]
//   comflash-cli ports
// Options may stand before, between or after the positional arguments; a value follows its
// option as the next argument or after "=". "--" ends the options.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/request.h"

namespace comflash::cli {

// A text asked for with --help or --version: printed on standard output, and the program ends
// successfully.
struct ShownText {
    std::string text;
};

// The request; or the reason it is unusable (one line, for standard error); or a text to show.
using ParsedArguments = std::variant<Request, std::string, ShownText>;

// `arguments` leaves out the program's own name.
ParsedArguments parseArguments(const std::vector<std::string>& arguments, std::string_view version);

}  // namespace comflash::cli
