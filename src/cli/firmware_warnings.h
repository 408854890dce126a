// What the command line says about a firmware file and a failed write beyond the session's
// own messages: the line that names the firmware, warnings where the device gets more than
// the file says, why a file is refused, and the full address of a failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/firmware_file.h"
#include "session/session.h"

namespace comflash::cli {

// The version bytes a handshake carries.
struct SentVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
};

// A piece of the name that is no number from 0 to 255 leaves the byte held from before: in a
// fresh run, 0.
SentVersion sentVersion(const image::FirmwareVersion& version, SentVersion held = {});

// "FILE (version M.m)", with the bytes the handshake carries; where the name gives none, the
// text says so.
std::string firmwareText(const std::string& path, const image::FirmwareVersion& version,
                         SentVersion held = {});

// One line for each thing the file makes the device hold beyond its records: whole erase
// units without data between its lowest and highest address (erased and filled with the
// pattern), and records that give one address different bytes (the later one is written).
std::vector<std::string> firmwareWarnings(const std::string& path,
                                          const image::FirmwareFile& firmware);

// Why the file cannot go to a device: the system's own message ("打开文件错误" for a file that
// does not open, "文档有误" for one the loader refuses), then the reason, naming the file.
std::vector<std::string> firmwareRefusal(const std::string& path,
                                         const image::FirmwareFileFailure& failure);

// For a session that failed at an address, whose message writes it without leading zeros in
// either byte: a line with the full four-digit address ("Full address: 0x0905"). Empty for
// any other end.
std::string failureAddressLine(const session::Result& result);

}  // namespace comflash::cli
