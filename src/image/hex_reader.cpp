#include "image/hex_reader.h"

#include <algorithm>

namespace comflash::image {

namespace {

constexpr char kRecordMark = ':';
// 1-based position of the byte count, right after the record mark.
constexpr std::size_t kCountPosition = 2;
constexpr std::size_t kDigitsPerByte = 2;
constexpr std::int32_t kLastImageIndex = static_cast<std::int32_t>(kImageSize) - 1;

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kExtendedSegmentAddressRecord = 0x02;
constexpr std::uint8_t kStartSegmentAddressRecord = 0x03;
constexpr std::uint8_t kExtendedLinearAddressRecord = 0x04;
constexpr std::uint8_t kStartLinearAddressRecord = 0x05;
constexpr std::uint8_t kAddressRecordLength = 2;
constexpr std::uint8_t kStartAddressRecordLength = 4;

// The value of the hexadecimal digit at a 1-based position of the line.
std::uint8_t digitAt(std::string_view line, std::size_t position) {
    if (position == 0 || position > line.size()) {
        throw HexLineError(HexFault::LineEndsEarly, "the line ends inside a record");
    }
    const char c = line[position - 1];
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    throw HexLineError(HexFault::NotHexDigit, "a record holds a character that is not a hex digit");
}

}  // namespace

std::uint8_t HexReader::ReadOneByte(std::string_view Str, std::size_t offset) {
    const std::uint8_t high = digitAt(Str, offset);
    return static_cast<std::uint8_t>(high * 16 + digitAt(Str, offset + 1));
}

bool HexReader::AnalyseHexLine(std::string_view Str) {
    // Lines that are not records pass without effect.
    if (Str.empty() || Str.front() != kRecordMark) return true;

    // The position runs in full width: a record may carry the format's 255 data bytes.
    std::size_t position = kCountPosition;
    std::uint8_t sum = 0;
    const auto next = [&] {
        const std::uint8_t value = ReadOneByte(Str, position);
        position += kDigitsPerByte;
        sum = static_cast<std::uint8_t>(sum + value);
        return value;
    };

    const std::uint8_t count = next();
    // Empty records of every type are ignored unread, the end-of-file record among them;
    // reading goes on with the next line.
    if (count == 0) return true;
    const std::uint8_t addressHigh = next();
    const std::uint8_t addressLow = next();
    const std::uint8_t type = next();
    const std::int32_t address = addressHigh * 256 + addressLow;

    bool otherBase = false;
    switch (type) {
        case kDataRecord:
            widenBounds(address, address + count - 1);
            for (std::int32_t index = address; index < address + count; ++index) {
                const std::uint8_t value = next();
                if (index > kLastImageIndex) {
                    throw HexLineError(HexFault::OutsideImage,
                                       "a data record runs past the end of the image");
                }
                if (onStore) onStore(static_cast<std::size_t>(index), value);
                state_.FirmwareImage[static_cast<std::size_t>(index)] = value;
            }
            break;
        case kExtendedSegmentAddressRecord:
        case kExtendedLinearAddressRecord: {
            // Toolchains open a file with one of these even when all data lie in the first
            // 64 KiB. Only a base of 0 leaves every data address as its record gives it; any
            // other base would move the data above 64 KiB or away from their image index.
            if (count != kAddressRecordLength) {
                throw HexLineError(HexFault::UnknownRecord, "an address record of odd length");
            }
            const std::uint8_t baseHigh = next();
            const std::uint8_t baseLow = next();
            otherBase = baseHigh != 0 || baseLow != 0;
            break;
        }
        case kStartSegmentAddressRecord:
        case kStartLinearAddressRecord:
            // The device starts the application at the image's first address; the start
            // address a file names changes nothing.
            if (count != kStartAddressRecordLength) {
                throw HexLineError(HexFault::UnknownRecord, "a start record of odd length");
            }
            for (std::uint8_t i = 0; i < kStartAddressRecordLength; ++i) next();
            break;
        default:
            // An end-of-file record that carries data, or a type the format does not have:
            // the file is damaged, and its data cannot be trusted.
            throw HexLineError(HexFault::UnknownRecord, "a record of unknown type or length");
    }

    // Characters after the checksum are not looked at.
    const std::uint8_t checksum = ReadOneByte(Str, position);
    if (static_cast<std::uint8_t>(sum + checksum) != 0) return false;
    if (otherBase) {
        throw HexLineError(HexFault::OutsideImage,
                           "an address record selects memory outside the image");
    }
    return true;
}

void HexReader::widenBounds(std::int32_t first, std::int32_t last) {
    if (FirstRecord) {
        state_.ImageStart = first;
        state_.ImageEnd = last;
        FirstRecord = false;
        return;
    }
    // A record that starts inside the range but runs past its end still raises the end, so
    // that its tail is sent.
    state_.ImageStart = std::min(state_.ImageStart, first);
    state_.ImageEnd = std::max(state_.ImageEnd, last);
}

}  // namespace comflash::image
