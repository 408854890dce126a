// The Intel HEX line reader: parses one line of a firmware file at a time into the shared
// firmware image and widens the image bounds. The image index of a byte is the 16-bit load
// address its data record gives it, unchanged; the image has no addresses above 0xFFFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "app/app_state.h"

namespace comflash::image {

// Why a line is faulty, beyond a checksum that does not match.
enum class HexFault {
    NotHexDigit,    // a character inside the record is not 0-9, A-F or a-f
    LineEndsEarly,  // the line ends before the record's checksum
    OutsideImage,   // data beyond index 0xFFFF, or an address record with a base other than 0
    UnknownRecord,  // a record type or length this reader does not know
};

// Raised for a faulty line. The loader treats it exactly like a checksum mismatch, and it
// never leaves the Update command.
class HexLineError : public std::runtime_error {
  public:
    HexLineError(HexFault fault, const char* what) : std::runtime_error(what), fault_(fault) {}
    HexFault fault() const { return fault_; }

  private:
    HexFault fault_;
};

class HexReader {
  public:
    explicit HexReader(AppState& state) : state_(state) {}

    // Parses one line. True for an accepted line: every line that does not start with ":",
    // every record with a byte count of 0 (whatever its type and checksum), and every good
    // record. False when a record's checksum does not match. Throws HexLineError for any
    // other fault. A data record's bytes and its effect on the bounds are in place before its
    // checksum is tested; bytes stored before a fault stay stored.
    bool AnalyseHexLine(std::string_view Str);

    // The byte written as two hexadecimal digits at the 1-based positions offset and
    // offset + 1 of Str, the first one the high nibble. Throws HexLineError when either
    // position lies outside Str or holds anything but a hexadecimal digit.
    static std::uint8_t ReadOneByte(std::string_view Str, std::size_t offset);

    // True from the opening of a firmware file until its first data record has set both
    // bounds from itself; the loader sets it when it opens a file. Still true after the
    // last line: the file held no data.
    bool FirstRecord = true;

    // Told of each data byte just before it is stored, with its image index: lets a caller
    // see which addresses a file gives, and which it gives twice.
    std::function<void(std::size_t index, std::uint8_t value)> onStore;

  private:
    void widenBounds(std::int32_t first, std::int32_t last);

    AppState& state_;
};

}  // namespace comflash::image
