// Percent-encoding of arbitrary bytes into names that stay readable UTF-8: ASCII bytes the
// caller chooses and well-formed UTF-8 sequences of two to four bytes are kept as they are;
// every other byte becomes "%" and two upper-case hexadecimal digits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace comflash::settings {

using KeepAscii = bool (*)(char);

// `keep` is asked only about ASCII bytes; it must refuse '%'.
std::string percentEncode(std::string_view bytes, KeepAscii keep);

// The bytes of an encoded text; nothing when a "%" is not followed by two hexadecimal
// digits. Bytes outside "%XX" are taken as they are.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace comflash::settings
