// The Intel HEX text the Save command writes for a read-back image: the device's lower 32 KiB
// in 32-byte blocks, each block one data record that runs from the block's first non-zero byte
// to its end (a block of zeros gives none), at the image index + 0x8000. Hex digits are upper
// case and every line ends with LF then CR. No end-of-file record follows, so an image whose
// lower 32 KiB is all zero gives the empty text.
#pragma once

#include <cstddef>
#include <string>

#include "app/app_state.h"

namespace comflash::image {

inline constexpr std::size_t kSavedBytes = 0x8000;
inline constexpr std::size_t kSavedBlockSize = 32;
inline constexpr std::size_t kSavedAddressOffset = 0x8000;

std::string ReadBackHexText(const ImageBytes& image);

}  // namespace comflash::image
