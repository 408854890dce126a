#include "image/firmware_version.h"

#include <algorithm>

namespace comflash::image {

namespace {

constexpr char kPathSeparator = '/';
constexpr char kVersionMark = '_';
constexpr char kPieceSeparator = '.';
constexpr unsigned kMaxPiece = 255;

std::string_view after(std::string_view text, char mark) {
    const auto at = text.rfind(mark);
    return at == std::string_view::npos ? text : text.substr(at + 1);
}

std::optional<std::uint8_t> toByte(std::string_view piece) {
    if (piece.empty()) return std::nullopt;
    unsigned value = 0;
    for (const char c : piece) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > kMaxPiece) return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace

FirmwareVersion VersionFromPath(std::string_view path) {
    std::string_view tail = after(after(path, kPathSeparator), kVersionMark);
    FirmwareVersion version;
    const auto firstEnd = std::min(tail.find(kPieceSeparator), tail.size());
    version.major = toByte(tail.substr(0, firstEnd));
    if (firstEnd == tail.size()) return version;
    tail.remove_prefix(firstEnd + 1);
    version.minor = toByte(tail.substr(0, tail.find(kPieceSeparator)));
    return version;
}

}  // namespace comflash::image
