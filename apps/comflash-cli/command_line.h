// comflash-cli's command line, read with Qt's parser:
//   comflash-cli write FILE.hex --port PORT [--port PORT ...] [--model A:B:C] [--config FILE]
//                [--retries N] [--verify]
//   comflash-cli read OUT.hex --port PORT [--model A:B:C] [--config FILE] [--retries N]
//   comflash-cli station FILE.hex --port PORT [--port PORT ...] [--verify] [--model A:B:C]
//                [--config FILE] [--retries N] [--log FILE.csv]
//   comflash-cli ports
// --help (after a command: that command's) and --version print and end the program.
#pragma once

#include <QStringList>
#include <optional>
#include <string>
#include <variant>
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
};

// The request, or the reason it is unusable (one line, for standard error).
std::variant<Request, std::string> parseRequest(const QStringList& arguments);

}  // namespace comflash::cli
