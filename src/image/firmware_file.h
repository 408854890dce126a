// A firmware file read as a value: its image (the fill pattern where the file names no byte),
// the inclusive range its records cover, and the version its name carries.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "app/app_state.h"
#include "image/firmware_version.h"
#include "image/hex_loader.h"

namespace comflash::image {

struct FirmwareFile {
    ImageBytes image{};
    std::int32_t start = 0;
    std::int32_t end = 0;
    FirmwareVersion version;
};

// Why a firmware file cannot go to a device.
struct FirmwareFileFailure {
    bool opened = false;  // false: the file could not be opened at all
    LoadResult load = LoadResult::ReadFailed;
};

// Reads the file at path (UTF-8). Only a FirmwareFile may go to a device.
std::variant<FirmwareFile, FirmwareFileFailure> ReadFirmwareFile(const std::string& path);

}  // namespace comflash::image
