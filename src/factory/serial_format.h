// How a serial number is written into a board's image (--serial-format), and where it may go.
// A serial number travels as text, as its source gives it ("1000", "00:11:22:33:44:55"), and
// becomes bytes only here:
//   u16le u16be u32le u32be u64le u64be  unsigned binary, little- or big-endian
//   decN                                 ASCII decimal, zero-padded to exactly N digits (1..20)
//   mac                                  6 bytes, from 00:11:22:33:44:55, 00-11-... or 001122334455
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/app_state.h"

namespace comflash::factory {

struct SerialFormat {
    enum class Kind { Binary, Decimal, Mac };
    Kind kind = Kind::Binary;
    std::size_t size = 4;    // the bytes it takes in the image
    bool bigEndian = false;  // Binary only
    bool operator==(const SerialFormat&) const = default;
};

// The format's name, as --serial-format takes it: "u32le", "dec8", "mac".
std::string formatName(const SerialFormat& format);

// The format a name stands for, or why there is none (naming the accepted ones).
std::variant<SerialFormat, std::string> parseSerialFormat(std::string_view name);

// The bytes `serial` takes in the image, or why the format cannot hold it ("serial number
// 70000 does not fit u16le (at most 65535)").
std::variant<std::vector<std::uint8_t>, std::string> encodeSerial(const SerialFormat& format,
                                                                  std::string_view serial);

// The serial number after `serial`, written as it was: a whole number plus one, or a MAC
// address plus one (carried across its bytes, the separators kept). None when `serial` is
// neither, or has no next one (18446744073709551615, FF:FF:FF:FF:FF:FF).
std::optional<std::string> nextSerial(std::string_view serial);

// Why `size` bytes at `address` do not lie inside the image's inclusive range start..end
// ("0x9000: 4 bytes do not fit in the image's range 0x8100 to 0x890F"); empty when they do.
std::string serialFitRefusal(std::int32_t address, std::size_t size, std::int32_t start,
                             std::int32_t end);

// Writes `bytes` into the image at `address`, when they fit its range; else why not, the image
// unchanged.
std::string placeSerial(ImageBytes& image, std::int32_t start, std::int32_t end,
                        std::int32_t address, const std::vector<std::uint8_t>& bytes);

}  // namespace comflash::factory
