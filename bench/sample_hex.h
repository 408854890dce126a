// The firmware files the benchmarks load and write: Intel HEX of known bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>

namespace comflash::bench {

// `size` bytes from address `base` in records of `recordLength` bytes; the byte at address a
// is (a * 7 + salt) & 0xFF. Ends with the end-of-file record.
inline std::string sampleHexFile(std::size_t size, std::size_t recordLength, unsigned salt,
                                 std::size_t base = 0) {
    std::string text;
    char line[600];
    for (std::size_t address = base; address < base + size; address += recordLength) {
        const std::size_t count = std::min(recordLength, base + size - address);
        unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF));
        int at = std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(count),
                               static_cast<unsigned>(address));
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned byte = static_cast<unsigned>(((address + i) * 7 + salt) & 0xFF);
            sum += byte;
            at +=
                std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X", byte);
        }
        std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X\r\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

}  // namespace comflash::bench
