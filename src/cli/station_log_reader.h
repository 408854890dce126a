// A station's CSV read back into records, for the factory's database: either header (the
// current one, or the older one without id, station, serial and note). A record of an older
// log, which has no id, gets one derived from its line's bytes, so that sending the log twice
// stores each record once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/station_log.h"

namespace comflash::cli {

struct ReadLog {
    std::vector<BoardRecord> records;
    // A line left out (torn by a crash, or not a record), each in a line of text.
    std::vector<std::string> warnings;
    std::string failure;  // why nothing could be read: no station's log; empty when read
};

// `name` is how the warnings name the file.
ReadLog readStationLog(std::string_view text, const std::string& name);
ReadLog readStationLogFile(const std::string& path);

}  // namespace comflash::cli
