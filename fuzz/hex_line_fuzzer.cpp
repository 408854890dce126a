// One line through the Intel HEX reader, compared with the plain model: the same verdict
// (accepted, checksum mismatch, or the same fault), the same image bytes and the same bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include "check.h"
#include "hex_model.h"

using namespace comflash;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::ImageModel model;
    model.firstRecord = input.ConsumeBool();
    model.start = input.ConsumeIntegralInRange<std::int32_t>(0, 0xFFFF);
    model.end = input.ConsumeIntegralInRange<std::int32_t>(0, 0xFFFF);
    const std::string line = input.ConsumeRemainingBytesAsString();

    AppState state;
    state.ImageStart = model.start;
    state.ImageEnd = model.end;
    image::HexReader reader(state);
    reader.FirstRecord = model.firstRecord;
    fuzz::LineOutcome outcome{fuzz::LineResult::Accepted};
    try {
        if (!reader.AnalyseHexLine(line)) outcome.result = fuzz::LineResult::ChecksumMismatch;
    } catch (const image::HexLineError& error) {
        outcome = {fuzz::LineResult::Fault, error.fault()};
    }

    const fuzz::LineOutcome expected = fuzz::modelLine(line, model);
    COMFLASH_CHECK(outcome.result == expected.result, "the verdict on the line");
    if (expected.result == fuzz::LineResult::Fault) {
        COMFLASH_CHECK(outcome.fault == expected.fault, "the kind of fault");
    }
    COMFLASH_CHECK(state.FirmwareImage == model.bytes, "the image bytes");
    COMFLASH_CHECK(reader.FirstRecord == model.firstRecord, "whether a data record came");
    COMFLASH_CHECK(state.ImageStart == model.start && state.ImageEnd == model.end,
                   "the image bounds");
    return 0;
}
