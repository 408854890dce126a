// Command lines and what comflash-cli makes of them: the table of the parser's test.
#pragma once

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "cli/request.h"

namespace comflash::cli::testing {

struct ArgumentCase {
    std::vector<std::string> arguments;  // after the program's name
    std::string expected;  // describe()'s text of the request, or "error: " and the reason
};

// A request in one line, every field named.
inline std::string describe(const std::variant<Request, std::string>& parsed) {
    if (const auto* problem = std::get_if<std::string>(&parsed)) return "error: " + *problem;
    const Request& request = std::get<Request>(parsed);
    const char* commands[] = {"write", "read", "station", "ports", "records push"};
    std::string text = commands[static_cast<int>(request.command)];
    if (!request.file.empty()) text += " " + request.file;
    for (const std::string& port : request.ports) text += " port=" + port;
    if (request.port != (request.ports.empty() ? "" : request.ports.front())) text += " bad port";
    if (request.model) text += " model=" + *request.model;
    if (request.config) text += " config=" + *request.config;
    if (request.retries != 0) text += " retries=" + std::to_string(request.retries);
    if (request.verify) text += " verify";
    if (request.log != Request{}.log) text += " log=" + request.log;
    if (const auto& serial = request.serial) {
        char at[16];
        std::snprintf(at, sizeof at, "0x%04X", static_cast<unsigned>(serial->at));
        const char* sources[] = {" counter=", " list=", " from-hook", " from-db"};
        text += std::string(" serial-at=") + at + " " + factory::formatName(serial->format) +
                sources[static_cast<int>(serial->source)] + serial->from;
    }
    if (request.db) text += " db=" + *request.db;
    if (!request.station.empty()) text += " station=" + request.station;
    if (request.json) text += " json";
    if (!request.beforeBoard.empty()) text += " before=" + request.beforeBoard;
    if (!request.afterBoard.empty()) text += " after=" + request.afterBoard;
    if (request.hookLimit != Request{}.hookLimit) {
        text += " hook-limit=" + std::to_string(request.hookLimit);
    }
    return text;
}

inline const std::vector<ArgumentCase>& argumentCases() {
    static const std::vector<ArgumentCase> cases{
        {{"write", "fw.hex", "--port", "COM1"}, "write fw.hex port=COM1"},
        {{"--port=COM1", "write", "--port", "COM2", "fw.hex", "--verify", "--retries", "3",
          "--model", "1:2:3", "--config", "c.txt"},
         "write fw.hex port=COM1 port=COM2 model=1:2:3 config=c.txt retries=3 verify"},
        {{"read", "o.hex", "--port", "COM3", "--model", "1:1:1", "--model", "2:2:2"},
         "read o.hex port=COM3 model=2:2:2"},
        {{"write", "--port", "COM1", "--", "-a.hex"}, "write -a.hex port=COM1"},
        {{"write", "-", "--port", "COM1"}, "write - port=COM1"},
        {{"write", "a.hex", "--port", "COM1", "--retries", " +2 "},
         "write a.hex port=COM1 retries=2"},
        {{"ports"}, "ports"},
        {{"ports", "--json"}, "ports json"},
        {{"read", "o.hex", "--json", "--port", "COM3"}, "read o.hex port=COM3 json"},
        {{"ports", "--json=yes"}, "error: Unexpected value after '--json'."},
        {{"read", "o.hex", "--port", "COM1", "--port", "COM2"}, "error: read takes one --port"},
        {{"read", "o.hex", "--port", "COM1", "--verify"}, "error: read takes no option --verify"},
        {{"ports", "--port", "COM1"}, "error: ports takes no option --port"},
        {{"ports", "--verify"}, "error: ports takes no option --verify"},
        {{"ports", "x"}, "error: ports takes no arguments"},
        {{}, "error: no command given (write, read, station, ports or records)"},
        {{"station", "fw.hex", "--port", "COM1", "--port", "COM2", "--log", "b.csv", "--verify"},
         "station fw.hex port=COM1 port=COM2 verify log=b.csv"},
        {{"write", "fw.hex", "--port", "COM1", "--log", "b.csv"},
         "error: write takes no option --log"},
        {{"station", "fw.hex", "--port", "COM1", "--db", "host=h dbname=d", "--station", "S1"},
         "station fw.hex port=COM1 db=host=h dbname=d station=S1"},
        {{"station", "fw.hex", "--port", "COM1", "--db="}, "station fw.hex port=COM1 db="},
        {{"station", "fw.hex", "--port", "COM1", "--station="}, "error: --station needs a name"},
        {{"write", "fw.hex", "--port", "COM1", "--db", "x"}, "error: write takes no option --db"},
        {{"read", "o.hex", "--port", "COM1", "--station", "s"},
         "error: read takes no option --station"},
        {{"records", "push", "a.csv", "--db", "postgresql://h/d"},
         "records push a.csv db=postgresql://h/d"},
        {{"records", "push", "a.csv"}, "error: records push needs --db URL"},
        {{"records", "a.csv", "--db", "x"}, "error: records takes push LOG.csv"},
        {{"records", "push", "--db", "x"},
         "error: records push takes one LOG.csv (it was given 0)"},
        {{"records", "push", "a.csv", "--db", "x", "--port", "COM1"},
         "error: records push takes no option --port"},
        {{"flash"}, "error: unknown command \"flash\""},
        {{"write"}, "error: write takes one FILE.hex (it was given 0)"},
        {{"write", "a.hex", "b.hex", "--port", "COM1"},
         "error: write takes one FILE.hex (it was given 2)"},
        {{"write", "a.hex"}, "error: write needs --port PORT"},
        {{"write", "a.hex", "--port"}, "error: Missing value after '--port'."},
        {{"write", "a.hex", "--port", "COM1", "--bogus"}, "error: Unknown option 'bogus'."},
        {{"write", "a.hex", "--port", "COM1", "-xy"}, "error: Unknown options: x, y."},
        {{"write", "a.hex", "--port", "COM1", "--verify=yes"},
         "error: Unexpected value after '--verify'."},
        {{"write", "a.hex", "--port", "COM1", "--retries", "-1"},
         "error: --retries needs a whole number from 0 up, not \"-1\""},
        {{"write", "a.hex", "--port", "COM1", "--retries=2x"},
         "error: --retries needs a whole number from 0 up, not \"2x\""},
        // Serial numbers: an address, one source, a format.
        {{"write", "fw.hex", "--port", "COM1", "--serial-at", "0x8100", "--serial-counter", "n"},
         "write fw.hex port=COM1 serial-at=0x8100 u32le counter=n"},
        {{"station", "fw.hex", "--port", "COM1", "--port", "COM2", "--serial-at=81f0",
          "--serial-format", "dec8", "--serial-list", "l.txt"},
         "station fw.hex port=COM1 port=COM2 serial-at=0x81F0 dec8 list=l.txt"},
        {{"write", "fw.hex", "--port", "COM1", "--serial-at", "0XFFFA", "--serial-format=mac",
          "--serial-list", "macs"},
         "write fw.hex port=COM1 serial-at=0xFFFA mac list=macs"},
        {{"write", "a.hex", "--port", "COM1", "--serial-counter", "n"},
         "error: --serial-counter needs --serial-at ADDR"},
        {{"station", "a.hex", "--port", "COM1", "--serial-format", "dec8"},
         "error: --serial-format needs --serial-at ADDR"},
        {{"read", "o.hex", "--port", "COM1", "--serial-at", "8000"},
         "error: read takes no option --serial-at"},
        {{"ports", "--serial-list", "l"}, "error: ports takes no option --serial-list"},
        {{"write", "a.hex", "--port", "COM1", "--serial-at", "8000"},
         "error: --serial-at needs a source: --serial-counter FILE or --serial-list FILE (station "
         "also --serial-from-hook or --serial-from-db)"},
        {{"write", "a.hex", "--port", "COM1", "--serial-at", "8000", "--serial-counter", "n",
          "--serial-list", "l"},
         "error: --serial-at takes one source: --serial-counter, --serial-list, "
         "--serial-from-hook or --serial-from-db"},
        {{"station", "a.hex", "--port", "COM1", "--serial-at", "8000", "--serial-from-hook",
          "--before-board", "./next.sh", "--after-board=log.sh", "--hook-limit", "2.5"},
         "station a.hex port=COM1 serial-at=0x8000 u32le from-hook before=./next.sh "
         "after=log.sh hook-limit=2500"},
        {{"station", "a.hex", "--port", "COM1", "--serial-at", "8000", "--serial-from-db", "--db",
          ""},
         "station a.hex port=COM1 serial-at=0x8000 u32le from-db db="},
        {{"station", "a.hex", "--port", "COM1", "--serial-at", "8000", "--serial-from-hook"},
         "error: --serial-from-hook needs --before-board CMD"},
        {{"station", "a.hex", "--port", "COM1", "--serial-at", "8000", "--serial-from-db"},
         "error: --serial-from-db needs --db URL"},
        {{"write", "a.hex", "--port", "COM1", "--before-board", "x"},
         "error: write takes no option --before-board"},
        {{"station", "a.hex", "--port", "COM1", "--hook-limit", "0"},
         "error: --hook-limit needs seconds from 0.001 to 86400, not \"0\""},
        {{"station", "a.hex", "--port", "COM1", "--after-board", ""},
         "error: --after-board needs a command"},
        {{"write", "a.hex", "--port", "COM1", "--port", "COM2", "--serial-at", "8000",
          "--serial-counter", "n"},
         "error: --serial-at: write takes one --port, since each board needs a number of its "
         "own; station gives every board one"},
        {{"write", "a.hex", "--port", "COM1", "--serial-at", "10000", "--serial-counter", "n"},
         "error: --serial-at needs a hexadecimal address from 0x0000 to 0xFFFF, not \"10000\""},
        {{"write", "a.hex", "--port", "COM1", "--serial-at", "0x", "--serial-counter", "n"},
         "error: --serial-at needs a hexadecimal address from 0x0000 to 0xFFFF, not \"0x\""},
        {{"write", "a.hex", "--port", "COM1", "--serial-at", "8000", "--serial-counter", "n",
          "--serial-format", "u24le"},
         "error: --serial-format: \"u24le\" is no serial number format; the formats are u16le, "
         "u16be, u32le, u32be, u64le, u64be, decN with N from 1 to 20 (dec8), or mac"},
    };
    return cases;
}

}  // namespace comflash::cli::testing
