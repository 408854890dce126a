#include "image/hex_loader.h"

#include <string>
#include <string_view>

#include "image/item_reader.h"

namespace comflash::image {

namespace {

// Blanks, and the end-of-file mark (0x1A) that DOS tools put after the last line.
constexpr std::string_view kNothingCharacters = " \t\v\f\x1A";

// A line with nothing to say.
bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(kNothingCharacters) == std::string_view::npos;
}

LoadReport refused(LoadResult result, std::size_t line, std::string reason) {
    return {result, line, "line " + std::to_string(line) + ": " + std::move(reason)};
}

}  // namespace

LoadReport LoadHexFileReport(std::istream& file, HexReader& reader) {
    reader.FirstRecord = true;
    ItemReader items(file);
    std::string line;
    for (;;) {
        switch (items.next(line)) {
            case ItemReader::Status::Item:
                break;
            case ItemReader::Status::Failed:
                return {LoadResult::ReadFailed, 0, "the file could not be read to its end"};
            case ItemReader::Status::End:
                // Without a data record the bounds are whatever an earlier load or read-back
                // left, and a session would send that range.
                if (reader.FirstRecord) return {LoadResult::NoData, 0, "the file holds no data"};
                return {};
        }
        // A record that lost its ':' would otherwise pass as a comment, and the device would
        // get the fill pattern where its bytes belong. What follows a comma on a record's
        // line is the record's trailing text, which is not looked at.
        if (items.opensLine() && !line.starts_with(':') && !isBlankLine(line)) {
            return refused(LoadResult::NotARecord, items.line(),
                           "the line does not start with ':', so it is no record");
        }
        try {
            if (!reader.AnalyseHexLine(line)) {
                return refused(LoadResult::ChecksumMismatch, items.line(),
                               "the record's checksum does not match its bytes");
            }
        } catch (const HexLineError& error) {
            return refused(LoadResult::FaultyRecord, items.line(), error.what());
        }
    }
}

}  // namespace comflash::image
