// A whole firmware file through the Update command's loader, compared with the plain model of
// its items and records: the same result, image bytes and bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include <sstream>

#include "check.h"
#include "hex_model.h"

using namespace comflash;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::ImageModel model;
    // Bounds an earlier load left; a file without data records keeps them.
    model.start = input.ConsumeIntegralInRange<std::int32_t>(0, 0xFFFF);
    model.end = input.ConsumeIntegralInRange<std::int32_t>(0, 0xFFFF);
    model.bytes.fill(input.ConsumeIntegral<std::uint8_t>());
    const std::string text = input.ConsumeRemainingBytesAsString();

    AppState state;
    state.FirmwareImage = model.bytes;
    state.ImageStart = model.start;
    state.ImageEnd = model.end;
    image::HexReader reader(state);
    reader.FirstRecord = false;
    std::istringstream file(text);
    const image::LoadResult result = image::LoadHexFile(file, reader);

    const image::LoadResult expected = fuzz::modelLoad(text, model);
    COMFLASH_CHECK(result == expected, "the load's result");
    COMFLASH_CHECK(state.FirmwareImage == model.bytes, "the image bytes");
    COMFLASH_CHECK(state.ImageStart == model.start && state.ImageEnd == model.end,
                   "the image bounds");
    COMFLASH_CHECK(reader.FirstRecord == model.firstRecord, "whether a data record came");
    if (result == image::LoadResult::Loaded) {
        COMFLASH_CHECK(state.ImageStart <= state.ImageEnd && state.ImageEnd <= 0xFFFF,
                       "a loaded image lies within 64 KiB");
    }
    return 0;
}
