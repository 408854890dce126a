#include "image/firmware_scan.h"

#include <bitset>
#include <memory>

#include "app/app_state.h"
#include "image/firmware_image.h"

namespace comflash::image {

FirmwareScan ScanFirmware(std::istream& file) {
    const auto image = std::make_unique<ImageBytes>();
    return ScanFirmware(file, *image);
}

FirmwareScan ScanFirmware(std::istream& file, ImageBytes& image) {
    const auto state = std::make_unique<AppState>();
    FillFirmwareImage(state->FirmwareImage);
    const auto given = std::make_unique<std::bitset<kImageSize>>();
    FirmwareScan found;
    HexReader reader(*state);
    reader.onStore = [&](std::size_t index, std::uint8_t value) {
        if (given->test(index) && state->FirmwareImage[index] != value) {
            if (found.overlaps++ == 0) found.firstOverlap = static_cast<std::int32_t>(index);
        }
        given->set(index);
    };
    found.load = LoadHexFileReport(file, reader);
    image = state->FirmwareImage;
    if (found.load.result != LoadResult::Loaded) return found;
    found.start = state->ImageStart;
    found.end = state->ImageEnd;

    // Erase units are aligned to their size; only those wholly inside the range count, since
    // the file gives bytes to the units at either end.
    bool inRun = false;
    for (std::int32_t unit = (found.start + kEraseUnitSize - 1) / kEraseUnitSize * kEraseUnitSize;
         unit + kEraseUnitSize - 1 <= found.end; unit += kEraseUnitSize) {
        bool empty = true;
        for (std::int32_t index = unit; empty && index < unit + kEraseUnitSize; ++index) {
            empty = !given->test(static_cast<std::size_t>(index));
        }
        if (!empty) {
            inRun = false;
            continue;
        }
        if (found.emptyUnits++ == 0) {
            found.firstEmptyFrom = unit;
            inRun = true;
        }
        if (inRun) found.firstEmptyTo = unit + kEraseUnitSize - 1;
    }
    return found;
}

}  // namespace comflash::image
