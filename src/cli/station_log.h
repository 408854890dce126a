// The station's record of every board: one CSV line (RFC 4180, UTF-8) per board, appended to
// a file that starts with a header line. Each record is written with one write() and synced
// before the next board may count on it, so a crash or power cut loses at most the record in
// progress; a write that fails midway is cut back off, so the file always ends on a whole
// record.
#pragma once

#include <chrono>
#include <string>

namespace comflash::cli {

struct BoardRecord {
    std::string time;  // UTC, ISO 8601: 2026-12-07T14:05:03Z
    std::string port;
    std::string device;
    std::string firmware;  // the file's name
    std::string sha256;    // of the file's bytes
    std::string model;     // A:B:C
    std::string version;   // as announced in the handshake, MAJOR.MINOR
    std::string result;    // the session's own words
    std::string code;      // a fixed word per outcome: succeeded, failed, other-model, ...
    bool verified = false;
    double seconds = 0;
    long bytes = 0;  // acknowledged by the device
    // Written after the fields above, so that a reader of the older columns reads on.
    std::string id;       // unique across stations: 32 hex digits drawn when the board starts
    std::string station;  // the station's name (--station, else the host name)
    std::string serial;   // the serial number placed into this board's image; empty for none
    // "used" (the board passed with it), "void" (reserved, the board did not pass), empty
    std::string serialState;
    std::string note;  // what a hook said or why it failed; empty when nothing
};

std::string utcTime(std::chrono::system_clock::time_point at);
// A field quoted when it holds a comma, a quote or a line break, its quotes doubled.
std::string csvField(const std::string& text);
// The header line and a record's line, each ended by CR LF.
std::string csvHeader();
// The header of logs written before the record had its id, station, serial and note: their
// lines hold the first twelve columns only.
std::string olderCsvHeader();
std::string csvLine(const BoardRecord& record);

class StationLog {
  public:
    StationLog() = default;
    ~StationLog();
    StationLog(const StationLog&) = delete;
    StationLog& operator=(const StationLog&) = delete;

    // Opens the file for appending, creating it with the header when it is new or empty.
    // Empty when it can be written, else why not.
    std::string open(const std::string& path);
    // Empty when the record is in the file and synced, else why not; the file then holds
    // exactly what it held before.
    std::string append(const BoardRecord& record);

  private:
    std::string write(const std::string& text);

    std::string path_;
    int fd_ = -1;
};

}  // namespace comflash::cli
