#include "settings/com_port_names.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#ifndef _WIN32
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "settings/file_registry_store.h"
#endif

namespace comflash::settings {

#ifdef _WIN32

std::string portsFolderFor(const char*, const char*) {
    return {};
}

std::string comPortDevice(int number, const std::string&) {
    return number >= 1 ? "COM" + std::to_string(number) : std::string();
}

#else

namespace {

struct DeviceRange {
    int firstPort;
    int lastPort;
    const char* devicePrefix;  // followed by the number counted from the range's first port
};

constexpr DeviceRange kDeviceTable[] = {
    {1, 16, "/dev/ttyUSB"},
    {17, 32, "/dev/ttyACM"},
    {33, 64, "/dev/ttyS"},
};

// Longer than any device path the system accepts: such a file names no device.
constexpr std::size_t kLongestLine = 4096;

// The first line of a text file without the blanks and carriage return around it; empty when
// it cannot be read or is too long to be a path.
std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    char c;
    while (line.size() <= kLongestLine && in.get(c) && c != '\n') line += c;
    constexpr const char* kBlanks = " \t\r";
    const auto first = line.find_first_not_of(kBlanks);
    if (line.size() > kLongestLine || first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

std::string portsFolderFor(const char* xdgConfigHome, const char* home) {
    const std::string root = FileRegistryStore::rootFor(xdgConfigHome, home);
    return root.empty() ? root : root + "/ports";
}

std::string comPortDevice(int number, const std::string& portsFolder) {
    if (number < 1) return {};
    if (!portsFolder.empty()) {
        const std::filesystem::path entry =
            std::filesystem::path(portsFolder) / ("COM" + std::to_string(number));
        std::error_code error;
        const auto status = std::filesystem::symlink_status(entry, error);
        if (std::filesystem::is_symlink(status)) return entry.string();
        if (std::filesystem::is_regular_file(status)) return firstLine(entry);
    }
    for (const DeviceRange& range : kDeviceTable) {
        if (number >= range.firstPort && number <= range.lastPort) {
            return range.devicePrefix + std::to_string(number - range.firstPort);
        }
    }
    return {};
}

#endif

bool sameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
#ifdef _WIN32
    return false;
#else
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_ino != 0 && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#endif
}

}  // namespace comflash::settings
