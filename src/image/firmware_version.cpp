#include "image/firmware_version.h"

#include <algorithm>

#include "app/conversions.h"

namespace comflash::image {

namespace {

constexpr char kPathSeparator = '/';
constexpr char kVersionMark = '_';
constexpr char kPieceSeparator = '.';

std::string_view after(std::string_view text, char mark) {
    const auto at = text.rfind(mark);
    return at == std::string_view::npos ? text : text.substr(at + 1);
}

}  // namespace

FirmwareVersion VersionFromPath(std::string_view path) {
    std::string_view tail = after(after(path, kPathSeparator), kVersionMark);
    FirmwareVersion version;
    const auto firstEnd = std::min(tail.find(kPieceSeparator), tail.size());
    version.major = app::toByte(tail.substr(0, firstEnd));
    if (firstEnd == tail.size()) return version;
    tail.remove_prefix(firstEnd + 1);
    version.minor = app::toByte(tail.substr(0, tail.find(kPieceSeparator)));
    return version;
}

}  // namespace comflash::image
