// A plain model of the Intel HEX reader and of the loader's items, written from the rules
// rather than from the code: a line is first decoded into bytes as far as its hex digits go,
// and only then read as a record. The fuzz targets compare the reader and the loader with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "image/hex_loader.h"
#include "image/hex_reader.h"

namespace comflash::fuzz {

// What the reader leaves behind: the image, its bounds and whether a data record set them.
struct ImageModel {
    ImageBytes bytes{};
    std::int32_t start = 0;
    std::int32_t end = 0;
    bool firstRecord = true;
};

enum class LineResult { Accepted, ChecksumMismatch, Fault };
struct LineOutcome {
    LineResult result = LineResult::Accepted;
    image::HexFault fault = image::HexFault::NotHexDigit;  // for LineResult::Fault
};

LineOutcome modelLine(std::string_view line, ImageModel& image);

// The items of a file as the loader takes them: leading blanks dropped, each ended by a comma,
// LF, CR LF or a lone CR; opensLine is false for an item that follows a comma.
struct ModelItem {
    std::string text;
    bool opensLine = true;
};
std::vector<ModelItem> modelItems(std::string_view text);

image::LoadResult modelLoad(std::string_view text, ImageModel& image);

}  // namespace comflash::fuzz
