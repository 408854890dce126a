// The firmware version a firmware file's name carries: "TempFile_1.03.hex" is version 1.3.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace comflash::image {

// A piece that is missing, or is not a number 0 to 255, stays empty; the caller then keeps
// the version byte it had.
struct FirmwareVersion {
    std::optional<std::uint8_t> major;
    std::optional<std::uint8_t> minor;
};

// The name is the part of the path after its last "/"; its part after the last "_" (the
// whole name when it has none) is split at every "."; the first two pieces are major and
// minor. A piece converts as a model part of Config.txt does: blanks around it, a sign and
// "&H" hexadecimal are allowed.
FirmwareVersion VersionFromPath(std::string_view path);

}  // namespace comflash::image
