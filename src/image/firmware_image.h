// The fill pattern an update lays into the firmware image before the firmware file is read.
// Gaps between the file's records keep it, and the session sends them with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/app_state.h"

namespace comflash::image {

// The last index the fill reaches; the image's top byte keeps whatever it held.
constexpr std::size_t kLastFilledIndex = 0xFFFE;

// 0xFF, 0xFE, ..., 0x80, starting again at every multiple of 128; never 0x00.
constexpr std::uint8_t FillByte(std::size_t index) {
    return static_cast<std::uint8_t>((index & 0x7F) ^ 0xFF);
}

void FillFirmwareImage(ImageBytes& image);

}  // namespace comflash::image
