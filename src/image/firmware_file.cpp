#include "image/firmware_file.h"

#include <fstream>
#include <memory>

#include "app/system_text.h"
#include "image/firmware_image.h"

namespace comflash::image {

std::variant<FirmwareFile, FirmwareFileFailure> ReadFirmwareFile(const std::string& path) {
    std::ifstream file(app::pathFromUtf8(path), std::ios::binary);
    if (!file.is_open()) return FirmwareFileFailure{false, LoadResult::ReadFailed};
    // The reader fills the state's image and bounds; the file's value is taken from there.
    const auto state = std::make_unique<AppState>();
    FillFirmwareImage(state->FirmwareImage);
    HexReader reader(*state);
    const LoadResult result = LoadHexFile(file, reader);
    if (result != LoadResult::Loaded) return FirmwareFileFailure{true, result};
    auto firmware = FirmwareFile{state->FirmwareImage, state->ImageStart, state->ImageEnd,
                                 VersionFromPath(path)};
    return firmware;
}

}  // namespace comflash::image
