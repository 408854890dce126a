// What the command line settles before any port opens: the start-up settings, the ports
// named, and the checks that refuse a request with nothing sent.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "cli/port_argument.h"
#include "cli/request.h"
#include "factory/serial_files.h"
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

// --serial-at: why the serial number's bytes do not lie inside the file's range ("--serial-at
// 0x9000: 4 bytes do not fit in the image's range 0x8100 to 0x890F; ..."); empty when they do,
// or when no serial number is asked for. Checked before any number is reserved.
std::string serialFitRefusal(const Request& request, const image::FirmwareFile& firmware);

// The file the serial numbers are reserved from: --serial-counter or --serial-list.
std::unique_ptr<factory::SerialFile> serialSource(const SerialNumbers& serial);

// One board's serial number, reserved from `source`, encoded and placed into `image`, whose
// inclusive range start..end goes to the board.
struct BoardSerial {
    std::string serial;   // the number reserved; empty when none was
    std::string refusal;  // why the board may not be written (a reserved number is then void)
};
BoardSerial placeBoardSerial(const SerialNumbers& request, factory::SerialFile& source,
                             std::int32_t start, std::int32_t end, ImageBytes& image);

// `serial` encoded and placed into `image` (range start..end, inclusive): empty, or why not.
std::string placeSerialNumber(const SerialNumbers& request, const std::string& serial,
                              std::int32_t start, std::int32_t end, ImageBytes& image);

}  // namespace comflash::cli
