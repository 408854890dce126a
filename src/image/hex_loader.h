// Loads a whole firmware file into the image through the line reader, stopping at the first
// faulty line. Only a Loaded file may go to a device.
#pragma once

#include <istream>

#include "image/hex_reader.h"

namespace comflash::image {

enum class LoadResult {
    Loaded,            // every line accepted, and at least one data record
    ChecksumMismatch,  // a record's checksum does not match
    FaultyRecord,      // a record is damaged or does not fit the image (HexLineError)
    ReadFailed,        // the file could not be read to its end
    NoData,            // every line accepted, but no data record: the bounds are stale
};

// Sets FirstRecord and feeds the file, item by item, to AnalyseHexLine. Lines after an
// end-of-file record are read like any other. Whatever the faulty line stored before its
// fault stays in the image.
LoadResult LoadHexFile(std::istream& file, HexReader& reader);

}  // namespace comflash::image
