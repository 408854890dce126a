// A firmware file read as a value, once: its image (the fill pattern where the file names no
// byte), the inclusive range its records cover, the version its name carries, what it makes
// the device hold beyond its records, and the SHA-256 of its bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "app/app_state.h"
#include "image/firmware_scan.h"
#include "image/firmware_version.h"
#include "image/hex_loader.h"

namespace comflash::image {

struct FirmwareFile {
    ImageBytes image{};
    std::int32_t start = 0;
    std::int32_t end = 0;
    FirmwareVersion version;
    FirmwareScan scan;   // empty erase units and overlapping records
    std::string sha256;  // of the file's bytes, in lower-case hexadecimal
};

// Why a firmware file cannot go to a device.
struct FirmwareFileFailure {
    bool opened = false;  // false: the file could not be opened at all
    LoadResult load = LoadResult::ReadFailed;
    std::string reason;  // the system's words, or where and why the loader refused the file
};

// Reads the file at path (UTF-8). Only a FirmwareFile may go to a device.
std::variant<FirmwareFile, FirmwareFileFailure> ReadFirmwareFile(const std::string& path);

}  // namespace comflash::image
