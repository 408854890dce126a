#include "cli/firmware_warnings.h"

#include <algorithm>
#include <cstdio>

#include "app/system_text.h"
#include "session/frames.h"

namespace comflash::cli {

namespace {

std::string hex4(std::int32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

// The name of the file without its folder.
std::string nameOf(const std::string& path) {
    return app::shownName(app::utf8FromPath(app::pathFromUtf8(path).filename()));
}

}  // namespace

SentVersion sentVersion(const image::FirmwareVersion& version, SentVersion held) {
    return {version.major.value_or(held.major), version.minor.value_or(held.minor)};
}

std::string firmwareText(const std::string& path, const image::FirmwareVersion& version,
                         SentVersion held) {
    const SentVersion sent = sentVersion(version, held);
    std::string text = app::shownName(path) + " (version " + std::to_string(sent.major) + "." +
                       std::to_string(sent.minor);
    if (!version.major || !version.minor) {
        // The handshake carries the byte held from before where the name gives nothing: say so
        // rather than let the name's own digits pass for what the device is told.
        const char* pieces = !version.major && !version.minor ? "major and minor versions"
                             : !version.major                 ? "major version"
                                                              : "minor version";
        text += std::string("; the name gives no ") + pieces +
                " from 0 to 255, so the byte held from before is sent";
    }
    return text + ")";
}

std::vector<std::string> firmwareWarnings(const std::string& path,
                                          const image::FirmwareFile& firmware) {
    const image::FirmwareScan& found = firmware.scan;
    std::vector<std::string> lines;
    if (found.emptyUnits > 0) {
        lines.push_back("Warning: " + nameOf(path) + " has no data from " +
                        hex4(found.firstEmptyFrom) + " to " + hex4(found.firstEmptyTo) + " (" +
                        std::to_string(found.emptyUnits) +
                        " empty erase unit(s) of 128 bytes in all between " + hex4(found.start) +
                        " and " + hex4(found.end) +
                        "): they are erased and filled with the pattern, so what the device "
                        "kept there (calibration, settings) is lost");
    }
    if (found.overlaps > 0) {
        lines.push_back("Warning: records of " + nameOf(path) + " give " +
                        std::to_string(found.overlaps) +
                        " address(es) different bytes, the first " + hex4(found.firstOverlap) +
                        ": the later record's byte is written");
    }
    return lines;
}

std::vector<std::string> firmwareRefusal(const std::string& path,
                                         const image::FirmwareFileFailure& failure) {
    const std::string shown = app::shownName(path);
    if (!failure.opened) return {"打开文件错误", shown + ": " + failure.reason};
    if (failure.load == image::LoadResult::ReadFailed) {
        return {"文档有误", shown + ": " + failure.reason};
    }
    return {"文档有误", shown + ": not an Intel HEX file the loader accepts (" + failure.reason +
                            "); nothing was sent to the device"};
}

std::string failureAddressLine(const session::Result& result) {
    if (result.outcome != session::Outcome::Failed) return {};
    return "Full address: " + hex4(result.address);
}

}  // namespace comflash::cli
