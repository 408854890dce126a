// Loads a whole firmware file into the image through the line reader, stopping at the first
// faulty line. Only a Loaded file may go to a device.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

#include "image/hex_reader.h"

namespace comflash::image {

enum class LoadResult {
    Loaded,            // every line accepted, and at least one data record
    ChecksumMismatch,  // a record's checksum does not match
    FaultyRecord,      // a record is damaged or does not fit the image (HexLineError)
    NotARecord,        // a line holds more than blanks but does not start with ':'
    ReadFailed,        // the file could not be read to its end
    NoData,            // every line accepted, but no data record: the bounds are stale
};

// How a load ended, and where it stopped.
struct LoadReport {
    LoadResult result = LoadResult::Loaded;
    std::size_t line = 0;  // the 1-based line refused; 0 when no line was refused
    std::string reason;    // what is wrong with the file, for a person
};

// Sets FirstRecord and feeds the file, item by item, to AnalyseHexLine. Lines after an
// end-of-file record are read like any other. Whatever the faulty line stored before its
// fault stays in the image.
LoadReport LoadHexFileReport(std::istream& file, HexReader& reader);
inline LoadResult LoadHexFile(std::istream& file, HexReader& reader) {
    return LoadHexFileReport(file, reader).result;
}

}  // namespace comflash::image
