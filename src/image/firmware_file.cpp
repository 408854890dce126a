#include "image/firmware_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <system_error>

#include "app/system_text.h"
#include "image/firmware_image.h"
#include "image/sha256.h"

namespace comflash::image {

std::variant<FirmwareFile, FirmwareFileFailure> ReadFirmwareFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(app::pathFromUtf8(path), error)) {
        return FirmwareFileFailure{true, LoadResult::ReadFailed, std::strerror(EISDIR)};
    }
    errno = 0;
    std::ifstream file(app::pathFromUtf8(path), std::ios::binary);
    if (!file.is_open()) {
        return FirmwareFileFailure{false, LoadResult::ReadFailed,
                                   std::strerror(errno != 0 ? errno : ENOENT)};
    }
    std::string bytes{std::istreambuf_iterator<char>(file), {}};
    if (file.bad()) {
        return FirmwareFileFailure{true, LoadResult::ReadFailed, std::strerror(EIO)};
    }
    std::istringstream text(bytes);
    auto firmware = std::make_unique<FirmwareFile>();
    firmware->scan = ScanFirmware(text, firmware->image);
    const LoadReport& load = firmware->scan.load;
    if (load.result != LoadResult::Loaded)
        return FirmwareFileFailure{true, load.result, load.reason};
    firmware->start = firmware->scan.start;
    firmware->end = firmware->scan.end;
    firmware->version = VersionFromPath(path);
    firmware->sha256 = sha256Hex(bytes);
    return std::move(*firmware);
}

}  // namespace comflash::image
