#include "image/hex_writer.h"

#include <cstdint>

namespace comflash::image {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kDataRecordType = "00";
constexpr std::string_view kLineEnd = "\n\r";

void appendByte(std::string& text, std::uint8_t byte) {
    text.push_back(kHexDigits[byte >> 4]);
    text.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace

std::string ReadBackHexText(const ImageBytes& image) {
    std::string text;
    for (std::size_t base = 0; base < kSavedBytes; base += kSavedBlockSize) {
        const std::size_t end = base + kSavedBlockSize;
        std::size_t start = base;
        while (start < end && image[start] == 0) ++start;
        if (start == end) continue;

        const std::size_t address = start + kSavedAddressOffset;
        const auto count = static_cast<std::uint8_t>(end - start);
        const auto high = static_cast<std::uint8_t>(address >> 8);
        const auto low = static_cast<std::uint8_t>(address & 0xFF);
        unsigned sum = 0u + count + high + low;
        text += ':';
        appendByte(text, count);
        appendByte(text, high);
        appendByte(text, low);
        text += kDataRecordType;
        for (std::size_t index = start; index < end; ++index) {
            appendByte(text, image[index]);
            sum += image[index];
        }
        appendByte(text, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        text += kLineEnd;
    }
    return text;
}

}  // namespace comflash::image
