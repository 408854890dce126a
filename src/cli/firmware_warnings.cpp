#include "cli/firmware_warnings.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/system_text.h"
#include "image/firmware_scan.h"
#include "image/firmware_version.h"
#include "session/frames.h"

namespace comflash::cli {

namespace {

std::string hex4(std::int32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

std::optional<image::FirmwareScan> scan(const std::string& path) {
    std::ifstream file(app::pathFromUtf8(path), std::ios::binary);
    if (!file.is_open()) return std::nullopt;
    return image::ScanFirmware(file);
}

// The name of the file without its folder.
std::string nameOf(const std::string& path) {
    return app::utf8FromPath(app::pathFromUtf8(path).filename());
}

}  // namespace

std::string firmwareText(const std::string& path, const AppState& state) {
    const image::FirmwareVersion version = image::VersionFromPath(path);
    const std::uint8_t major = version.major.value_or(state.FirmwareMajor);
    const std::uint8_t minor = version.minor.value_or(state.FirmwareMinor);
    std::string text = path + " (version " + std::to_string(major) + "." + std::to_string(minor);
    if (!version.major || !version.minor) {
        // The handshake carries the byte the last good name gave: say so rather than let
        // the name's own digits pass for what the device is told.
        const char* pieces = !version.major && !version.minor ? "major and minor versions"
                             : !version.major                 ? "major version"
                                                              : "minor version";
        text += std::string("; the name gives no ") + pieces +
                " from 0 to 255, so the byte held from before is sent";
    }
    return text + ")";
}

std::vector<std::string> firmwareWarnings(const std::string& path) {
    const auto found = scan(path);
    if (!found || found->load.result != image::LoadResult::Loaded) return {};
    std::vector<std::string> lines;
    if (found->emptyUnits > 0) {
        lines.push_back("Warning: " + nameOf(path) + " has no data from " +
                        hex4(found->firstEmptyFrom) + " to " + hex4(found->firstEmptyTo) + " (" +
                        std::to_string(found->emptyUnits) +
                        " empty erase unit(s) of 128 bytes in all between " + hex4(found->start) +
                        " and " + hex4(found->end) +
                        "): they are erased and filled with the pattern, so what the device "
                        "kept there (calibration, settings) is lost");
    }
    if (found->overlaps > 0) {
        lines.push_back("Warning: records of " + nameOf(path) + " give " +
                        std::to_string(found->overlaps) +
                        " address(es) different bytes, the first " + hex4(found->firstOverlap) +
                        ": the later record's byte is written");
    }
    return lines;
}

std::string faultyFileReason(const std::string& path) {
    const auto found = scan(path);
    if (!found) return "it cannot be opened";
    if (found->load.result == image::LoadResult::Loaded) return {};
    return found->load.reason;
}

std::string failureAddressLine(const session::Result& result) {
    if (result.outcome != session::Outcome::Failed) return {};
    return "Full address: " + hex4(result.address);
}

}  // namespace comflash::cli
