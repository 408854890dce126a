// What a stored value reads as. A read receives the value's data into a zeroed buffer of
// kReadBufferSize bytes; the text is taken from that buffer, so both stores share these
// rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace comflash::settings {

// Type codes of stored values, as the registry numbers them. Other codes can be stored too
// (a value of any type is kept), they just read as the empty text.
enum class ValueType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
};

constexpr std::size_t kReadBufferSize = 1024;
// A RegDword value's data: a 32-bit number, least significant byte first.
constexpr std::size_t kDwordSize = 4;

// The text that a read gives for a value of `type` holding `data`:
// - data longer than kReadBufferSize: empty (the read fails);
// - a full buffer without a zero byte: empty;
// - RegSz, RegExpandSz: the bytes before the first zero byte, unexpanded;
// - RegDword: the decimal text of the unsigned 32-bit little-endian number in the first four
//   bytes (missing bytes count as zero, as the buffer is zeroed);
// - any other type: empty.
std::string readValueText(ValueType type, std::string_view data);

// The data a text value is stored as: its bytes and a terminating zero byte.
std::string textValueData(std::string_view text);

}  // namespace comflash::settings
