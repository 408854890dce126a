#include "sim/hex_file.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <span>
#include <vector>

namespace comflash::sim {

namespace {

constexpr std::size_t kHeaderBytes = 4;  // length, address high, address low, type
constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kSegmentBase = 0x02;
constexpr std::uint8_t kStartSegment = 0x03;
constexpr std::uint8_t kLinearBase = 0x04;
constexpr std::uint8_t kStartLinear = 0x05;

// The record's bytes after the colon, or the reason they are not a record.
std::optional<std::string> decode(std::string_view line, std::vector<std::uint8_t>& bytes) {
    if (line.empty() || line.front() != ':') return "does not start with ':'";
    line.remove_prefix(1);
    if (line.size() % 2 != 0) return "odd number of hex digits";
    bytes.clear();
    for (std::size_t i = 0; i < line.size(); i += 2) {
        std::uint8_t byte = 0;
        const auto [ptr, ec] = std::from_chars(line.data() + i, line.data() + i + 2, byte, 16);
        if (ec != std::errc{} || ptr != line.data() + i + 2) return "not a hex digit";
        bytes.push_back(byte);
    }
    if (bytes.size() < kHeaderBytes + 1 || bytes.size() != kHeaderBytes + 1 + bytes[0]) {
        return "length does not match the record";
    }
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    if (sum != 0) return "checksum mismatch";
    return std::nullopt;
}

// The next line of the text, without its end: LF, CR LF or a lone CR, as the tool's own
// loader reads them (and as the files it saves may end theirs). False at the end of the text.
bool nextLine(std::istream& text, std::string& line) {
    using Traits = std::istream::traits_type;
    line.clear();
    if (Traits::eq_int_type(text.peek(), Traits::eof())) return false;
    for (;;) {
        const auto c = text.get();
        if (Traits::eq_int_type(c, Traits::eof()) || c == '\n') return true;
        if (c == '\r') {
            if (text.peek() == '\n') text.get();
            return true;
        }
        line.push_back(Traits::to_char_type(c));
    }
}

}  // namespace

std::optional<std::string> loadIntelHex(std::istream& text, Memory& memory) {
    Memory loaded = memory;
    std::vector<std::uint8_t> record;
    std::string line;
    for (int number = 1; nextLine(text, line); ++number) {
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (line.empty()) continue;
        auto fail = [&](const std::string& why) {
            return "line " + std::to_string(number) + ": " + why;
        };
        if (auto problem = decode(line, record)) return fail(*problem);
        const std::size_t length = record[0];
        const std::size_t address = std::size_t{record[1]} << 8 | record[2];
        const auto data = std::span(record).subspan(kHeaderBytes, length);
        switch (record[3]) {
            case kData:
                if (address + length > kMemorySize) return fail("data beyond 64 KiB");
                std::copy(data.begin(), data.end(), loaded.begin() + static_cast<long>(address));
                break;
            case kEndOfFile:
                memory = loaded;
                return std::nullopt;
            case kSegmentBase:
            case kLinearBase:
                for (const std::uint8_t byte : data) {
                    if (byte != 0) return fail("address base beyond 64 KiB");
                }
                break;
            case kStartSegment:
            case kStartLinear:
                break;
            default:
                return fail("unknown record type");
        }
    }
    memory = loaded;
    return std::nullopt;
}

}  // namespace comflash::sim
