// Text-to-number conversions of start-up, with the rules the stored files were written for:
// a decimal fraction rounds to the nearest whole number with an exact half going to the even
// neighbour, and "&H" introduces a hexadecimal number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace comflash::app {

// A whole model-identifier part: the text is a number and nothing else (spaces around it
// allowed), rounded, in 0 to 255. None when it is not a number or out of range.
std::optional<std::uint8_t> toByte(std::string_view text);

// The number at the start of the text, as a stored port number is read: leading spaces
// skipped, text without a leading number gives 0, a fraction is rounded. None when the
// number does not fit a signed 16-bit integer.
std::optional<std::int16_t> leadingNumberToInt16(std::string_view text);

// Rounds to the nearest whole number, an exact half to the even neighbour.
double roundHalfEven(double value);

}  // namespace comflash::app
