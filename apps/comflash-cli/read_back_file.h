// STAND-IN, to be replaced by the image library's own Save writer (being written now): once
// that lands, comflash-cli read calls it and this file goes. Until then it writes the same
// text the Save command is to write:
//   the image's indices 0 to 0x7FFF in blocks of 32 bytes; a block's record starts at its
//   first byte that is not 0x00 (an all-zero block has none) and runs to the block's end;
//   record address = image index + 0x8000; type 00; upper-case hex; each line ends with LF
//   then CR; no end-of-file record.
// The file is replaced atomically: a temporary file beside it takes its place once complete.
#pragma once

#include <string>

#include "app/app_state.h"

namespace comflash::cli {

std::string readBackText(const ImageBytes& image);

// False, with the system's reason, when the file cannot be written; the old file, if any,
// is then left as it was.
bool saveReadBack(const ImageBytes& image, const std::string& path, std::string& failure);

}  // namespace comflash::cli
