// Loads an Intel HEX file into the device's memory (the --memory option).
#pragma once

#include <istream>
#include <optional>
#include <string>

#include "sim/device.h"

namespace comflash::sim {

// Reads data records (type 00) into `memory` until the end-of-file record (01) or the end of
// the text. Extended address records (02, 04) are accepted only with a zero base, since the
// device has 64 KiB; start address records (03, 05) are ignored. Lines end with LF, CR LF or
// a lone CR. Returns the first problem,
// with its line number, and leaves `memory` untouched then.
std::optional<std::string> loadIntelHex(std::istream& text, Memory& memory);

}  // namespace comflash::sim
