// The port the user names on the command line: COMn, resolved as the window resolves its
// port number, or the path of a serial device.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comflash::cli {

struct PortArgument {
    std::int16_t number = 0;  // the port number the session opens (1 for a device path)
    std::string device;       // the device path given instead of COMn; empty for COMn
    std::string failure;      // set when the text names no port
};

// "COM" in any letter case followed by a number from 1 to 32767, or any text with a "/".
// `paths`: the system opens serial devices by path, and the refusal of a text that names no
// port offers one.
PortArgument parsePortArgument(std::string_view text, bool paths = true);

}  // namespace comflash::cli
