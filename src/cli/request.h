// What the command line asks for, once its arguments are read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace comflash::cli {

enum class Command { Write, Read, Station, Ports };

struct Request {
    Command command = Command::Ports;
    std::string file;                // FILE.hex to write, or OUT.hex to save
    std::string port;                // the first --port
    std::vector<std::string> ports;  // every --port, in the order given
    std::optional<std::string> model;
    std::optional<std::string> config;
    int retries = 0;
    bool verify = false;                       // write: read the range back before the go frame
    std::string log = "comflash-station.csv";  // station: the record of every board
    bool json = false;  // JSON lines on standard output (json_output.h), the texts on stderr
};

}  // namespace comflash::cli
