// What the command line settles before any port opens: the start-up settings, the ports
// named, and the checks that refuse a request with nothing sent.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "cli/port_argument.h"
#include "cli/request.h"
#include "image/firmware_file.h"

namespace comflash::cli {

// The start-up settings a session needs: the model from --model or Config.txt, the title from
// Config.txt.
struct Settings {
    std::array<std::uint8_t, 3> model{};
    std::string title;
};

// The settings: the model from --model or Config.txt (--config, else the one in
// programFolder), the title from Config.txt. Else why they cannot be had.
std::variant<Settings, std::string> startUp(const Request& request,
                                            const std::string& programFolder);

// "16:32:48".
std::string modelText(const std::array<std::uint8_t, 3>& model);

// Every --port read, or why one cannot be: a name that is no port, or two names that lead to
// one device (COM1 and the path its link points to), since each device takes one session.
// deviceOf gives the device a port stands for.
std::variant<std::vector<PortArgument>, std::string> readPorts(
    const std::vector<std::string>& names,
    const std::function<std::string(const PortArgument&)>& deviceOf, bool paths = true);

// Why OUT.hex cannot be saved where it is named (a folder, or no such folder); empty if it can.
std::string saveTargetProblem(const std::string& path);

// --verify reads back through the device's read window only: a file with anything below it
// is refused. Empty when the request may go on.
std::string verifyRefusal(const Request& request, const image::FirmwareFile& firmware);

}  // namespace comflash::cli
