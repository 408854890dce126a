// comflash-cli, once for every platform: reads the command line and runs its command on the
// host given (Linux over Qt, Windows over the system's own calls).
//   write FILE.hex --port PORT ...   one session, or one per port at once
//   read OUT.hex --port PORT         a read-back saved as Intel HEX
//   station FILE.hex --port PORT ... board after board until Ctrl-C
//   ports                            the ports that open
// See arguments.h for the options and the help texts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/exit_status.h"
#include "cli/host.h"

namespace comflash::cli {

// `arguments` leaves out the program's own name. The exit status (exit_status.h).
int run(const std::vector<std::string>& arguments, std::string_view version, Host& host);

}  // namespace comflash::cli
