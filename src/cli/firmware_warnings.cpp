#include "cli/firmware_warnings.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>

#include "app/system_text.h"
#include "image/firmware_inspection.h"
#include "image/firmware_version.h"
#include "session/frames.h"

namespace comflash::cli {

namespace {

std::string hex4(std::int32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

std::optional<image::FirmwareInspection> inspect(const std::string& path) {
    std::ifstream file(app::pathFromUtf8(path), std::ios::binary);
    if (!file.is_open()) return std::nullopt;
    return image::InspectFirmware(file);
}

std::optional<std::int32_t> hexNumber(std::string_view digits) {
    std::int32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
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
    const auto found = inspect(path);
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
    const auto found = inspect(path);
    if (!found) return "it cannot be opened";
    if (found->load.result == image::LoadResult::Loaded) return {};
    return found->load.reason;
}

std::string failureAddressLine(std::string_view message, const AppState& state) {
    const auto text = [](std::int32_t address) {
        return session::failureText(address / 256, address % 256);
    };
    const std::string prefix = text(0).substr(0, text(0).size() - 2);  // without "00"
    if (!message.starts_with(prefix)) return {};
    const std::string_view digits = message.substr(prefix.size());
    std::vector<std::int32_t> matches;
    std::vector<std::int32_t> likely;
    for (std::size_t split = 1; split < digits.size(); ++split) {
        const std::optional<std::int32_t> page = hexNumber(digits.substr(0, split));
        const std::optional<std::int32_t> low = hexNumber(digits.substr(split));
        if (!page || !low || *low > 0xFF || *page > 0x100) continue;
        const std::int32_t address = *page * 256 + *low;
        // A byte written with a leading zero is no way the message writes it.
        if (text(address) != message) continue;
        matches.push_back(address);
        if (address == state.ImageStart || address == state.ImageEnd + 1 ||
            (address % image::kEraseUnitSize == 0 && address > state.ImageStart &&
             address <= state.ImageEnd)) {
            likely.push_back(address);
        }
    }
    std::vector<std::int32_t>& shown = likely.empty() ? matches : likely;
    if (shown.empty()) return {};
    std::sort(shown.begin(), shown.end());
    std::string line = "Full address: " + hex4(shown[0]);
    for (std::size_t i = 1; i < shown.size(); ++i) line += " or " + hex4(shown[i]);
    return line;
}

std::optional<ui::Answer> showWithAddress(Console& console, const ui::MessageBox& box,
                                          const AppState& state) {
    const std::optional<ui::Answer> answer = console.show(box);
    if (const std::string line = failureAddressLine(box.text, state); !line.empty()) {
        console.warn(line);
    }
    return answer;
}

}  // namespace comflash::cli
