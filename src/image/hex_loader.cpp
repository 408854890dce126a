#include "image/hex_loader.h"

#include <string>

#include "image/item_reader.h"

namespace comflash::image {

LoadResult LoadHexFile(std::istream& file, HexReader& reader) {
    reader.FirstRecord = true;
    ItemReader items(file);
    std::string line;
    for (;;) {
        switch (items.next(line)) {
            case ItemReader::Status::Item:
                break;
            case ItemReader::Status::Failed:
                return LoadResult::ReadFailed;
            case ItemReader::Status::End:
                // Without a data record the bounds are whatever an earlier load or read-back
                // left, and a session would send that range.
                return reader.FirstRecord ? LoadResult::NoData : LoadResult::Loaded;
        }
        try {
            if (!reader.AnalyseHexLine(line)) return LoadResult::ChecksumMismatch;
        } catch (const HexLineError&) {
            return LoadResult::FaultyRecord;
        }
    }
}

}  // namespace comflash::image
