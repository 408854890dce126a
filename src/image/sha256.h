// SHA-256 (FIPS 180-4) of a byte string, for the station's record of which firmware file a
// board got. Plain C++: the build has no crypto library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace comflash::image {

class Sha256 {
  public:
    Sha256();
    void add(std::string_view bytes);
    // The digest of everything added; the object is spent afterwards.
    std::array<std::uint8_t, 32> finish();

  private:
    void block(const std::uint8_t* data);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;  // bytes added
};

// The digest as 64 lower-case hex digits.
std::string sha256Hex(std::string_view bytes);

}  // namespace comflash::image
