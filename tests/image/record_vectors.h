// Single lines with what each does to a freshly filled image whose first record is still to
// come: the outcome, the bytes it stores and the bounds it sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace comflash::image::testing {

enum class Outcome { Accepted, Mismatch, NotHexDigit, LineEndsEarly, OutsideImage, UnknownRecord };

struct RecordVector {
    std::string_view name;
    std::string line;
    Outcome outcome;
    std::size_t address = 0;  // where the stored bytes begin
    std::vector<std::uint8_t> stored{};
    std::optional<std::pair<std::int32_t, std::int32_t>> bounds{};  // none: left as they were
};

// A well-formed record, for records too long to write out by hand.
inline std::string hexRecord(std::uint16_t address, std::uint8_t type,
                             const std::vector<std::uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = ":";
    unsigned sum = 0;
    const auto put = [&](unsigned byte) {
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0xF];
        sum += byte;
    };
    put(static_cast<unsigned>(data.size()));
    put(address >> 8u);
    put(address & 0xFFu);
    put(type);
    for (const std::uint8_t byte : data) put(byte);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    return line;
}

inline std::vector<std::uint8_t> counting(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

inline std::vector<RecordVector> recordVectors() {
    const std::pair<std::int32_t, std::int32_t> at10{0x10, 0x13};
    return {
        {"FirstDataRecord", ":0400100001020304E2", Outcome::Accepted, 0x10, {1, 2, 3, 4}, at10},
        {"BadChecksumTwin", ":0400100001020304E3", Outcome::Mismatch, 0x10, {1, 2, 3, 4}, at10},
        {"LowerCaseDigits",
         ":04001000aabbccddde",
         Outcome::Accepted,
         0x10,
         {0xAA, 0xBB, 0xCC, 0xDD},
         at10},
        {"TextAfterChecksum",
         ":0400100001020304E2 ;x,",
         Outcome::Accepted,
         0x10,
         {1, 2, 3, 4},
         at10},
        {"EndOfFile", ":00000001FF", Outcome::Accepted},
        {"EmptyLine", "", Outcome::Accepted},
        {"NotARecord", "abc", Outcome::Accepted},
        {"EmptyRecordUnchecked", ":0000000400", Outcome::Accepted},
        {"ReachesFFFF",
         ":02FFFF000102FD",
         Outcome::OutsideImage,
         0xFFFF,
         {0x01},
         std::pair{0xFFFF, 0x10000}},
        // A letter past F used to pass as a digit ("0G" was 0x10).
        {"GInData", ":04001000010G0304E2", Outcome::NotHexDigit, 0x10, {1}, at10},
        {"GInCount", ":0G00100001020304E2", Outcome::NotHexDigit},
        {"GInType", ":040010G001020304E2", Outcome::NotHexDigit},
        {"BlankInData", ":04001000 01020304E2", Outcome::NotHexDigit, 0x10, {}, at10},
        {"GInChecksum", ":0400100001020304EG", Outcome::NotHexDigit, 0x10, {1, 2, 3, 4}, at10},
        {"EndsInData", ":04001000010203", Outcome::LineEndsEarly, 0x10, {1, 2, 3}, at10},
        {"EndsBeforeChecksum",
         ":0400100001020304",
         Outcome::LineEndsEarly,
         0x10,
         {1, 2, 3, 4},
         at10},
        {"EndsInCount", ":0", Outcome::LineEndsEarly},
        // The format's longest records; 122 bytes was an accidental limit.
        {"Data123", hexRecord(0x100, 0, counting(123)), Outcome::Accepted, 0x100, counting(123),
         std::pair{0x100, 0x17A}},
        {"Data255", hexRecord(0x200, 0, counting(255)), Outcome::Accepted, 0x200, counting(255),
         std::pair{0x200, 0x2FE}},
        {"LinearBaseZero", ":020000040000FA", Outcome::Accepted},
        {"SegmentBaseZero", ":020000020000FC", Outcome::Accepted},
        {"LinearBaseAbove", ":020000040001F9", Outcome::OutsideImage},
        {"SegmentBaseAbove", ":020000021000EC", Outcome::OutsideImage},
        {"SegmentBaseMoves", ":020000020001FB", Outcome::OutsideImage},
        {"LinearBadChecksum", ":020000040000FB", Outcome::Mismatch},
        {"StartSegment", ":0400000300001000E9", Outcome::Accepted},
        {"StartLinear", ":0400000500001000E7", Outcome::Accepted},
        {"StartBadChecksum", ":0400000500001000E8", Outcome::Mismatch},
        {"LinearOddLength", ":03000004000000F9", Outcome::UnknownRecord},
        {"UnknownType", ":0100000600F9", Outcome::UnknownRecord},
        {"EndOfFileWithData", ":0100000100FE", Outcome::UnknownRecord},
    };
}

}  // namespace comflash::image::testing
