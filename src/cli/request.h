// What the command line asks for, once its arguments are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "factory/serial_format.h"

namespace comflash::cli {

enum class Command { Write, Read, Station, Ports, RecordsPush };

// --serial-at: a serial number placed into each board's image, taken from one source.
struct SerialNumbers {
    // --serial-counter, --serial-list, --serial-from-hook (the before-board hook's first line),
    // --serial-from-db (the factory's database)
    enum class Source { Counter, List, Hook, Database };
    std::int32_t at = 0;           // the address of its first byte
    factory::SerialFormat format;  // --serial-format, by default u32le
    Source source = Source::Counter;
    std::string from;  // the source's file
};

struct Request {
    Command command = Command::Ports;
    std::string file;                // FILE.hex to write, or OUT.hex to save
    std::string port;                // the first --port
    std::vector<std::string> ports;  // every --port, in the order given
    std::optional<std::string> model;
    std::optional<std::string> config;
    int retries = 0;
    bool verify = false;                       // write: read the range back before the go frame
    std::string log = "comflash-station.csv";  // station: the record of every board;
                                               // records push: the log to send
    // The factory's database, a libpq connection string (an empty one: libpq's defaults).
    std::optional<std::string> db;
    std::optional<SerialNumbers> serial;  // write (one port), station: --serial-at
    std::string station;  // the station's name; empty until run() puts the host's name there
    // station: commands run for each board, and how long each may take
    std::string beforeBoard;
    std::string afterBoard;
    int hookLimit = 30000;  // ms
    bool json = false;      // JSON lines on standard output (json_output.h), the texts on stderr
};

}  // namespace comflash::cli
