// What a firmware file makes the device hold beyond what its records say. An update sends
// every byte from the file's lowest to its highest address: an erase unit the file leaves
// empty is erased and filled with the pattern, losing whatever the device kept there. And
// where records give one address two values, the later one is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>

#include "app/app_state.h"
#include "image/hex_loader.h"

namespace comflash::image {

inline constexpr std::int32_t kEraseUnitSize = 128;

struct FirmwareScan {
    LoadReport load;
    // The range an update sends; meaningful when the file loaded.
    std::int32_t start = 0;
    std::int32_t end = 0;
    // Whole erase units within start..end of which no record gives a byte, and the first run
    // of them (first and last address).
    std::size_t emptyUnits = 0;
    std::int32_t firstEmptyFrom = -1;
    std::int32_t firstEmptyTo = -1;
    // Bytes a later record gave another value than an earlier one, and the first of them.
    std::size_t overlaps = 0;
    std::int32_t firstOverlap = -1;
};

// Loads the file as an update does, into `image` (filled with the pattern first).
FirmwareScan ScanFirmware(std::istream& file, ImageBytes& image);
// The same into an image of its own.
FirmwareScan ScanFirmware(std::istream& file);

}  // namespace comflash::image
