// What the command line settles before any port opens: the start-up settings, the ports
// named, and the checks that refuse a request with nothing sent.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/app_state.h"
#include "cli/port_argument.h"
#include "cli/request.h"

namespace comflash::cli {

// The start-up settings a session needs: the model from --model or Config.txt (--config, else
// the one in programFolder), the title from Config.txt. Empty when they could be had, else
// why not.
std::string startUp(const Request& request, const std::string& programFolder, AppState& state);

// "16:32:48".
std::string modelText(const AppState& state);

// Every --port read, or why one cannot be: a name that is no port, or two names that lead to
// one device (COM1 and the path its link points to), since each device takes one session.
std::variant<std::vector<PortArgument>, std::string> readPorts(
    const std::vector<std::string>& names, const std::string& portsFolder);

// What a run on several ports settles before any port opens, in this order: the ports named
// (readPorts), the start-up settings (startUp) and the --verify refusal. Empty when the run may
// go on, else the first reason it may not.
std::string settleRun(const Request& request, const std::string& portsFolder,
                      const std::string& programFolder, std::vector<PortArgument>& ports,
                      AppState& state);

// Before one port's write or read: the start-up settings with the port's number, then the save
// target of a read or the --verify refusal of a write. The refusal, or empty.
std::string settleOnePort(const Request& request, const std::string& programFolder,
                          std::int16_t portNumber, AppState& state);

// The device a port stands for now.
std::string deviceOf(const PortArgument& port, const std::string& portsFolder);

// Why the firmware file could not be used, in the system's words where it gave any.
std::string fileReason(const std::string& path);

// Why OUT.hex cannot be saved where it is named (a folder, or no such folder); empty if it can.
std::string saveTargetProblem(const std::string& path);

// --verify reads back through the device's read window only: a file with anything below it
// is refused. Empty when the request may go on (a file that cannot be read is the loader's
// to report).
std::string verifyRefusal(const Request& request);

}  // namespace comflash::cli
