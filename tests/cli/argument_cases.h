// Command lines and what comflash-cli makes of them: the table of the parser's test.
#pragma once

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
    const char* commands[] = {"write", "read", "station", "ports"};
    std::string text = commands[static_cast<int>(request.command)];
    if (!request.file.empty()) text += " " + request.file;
    for (const std::string& port : request.ports) text += " port=" + port;
    if (request.port != (request.ports.empty() ? "" : request.ports.front())) text += " bad port";
    if (request.model) text += " model=" + *request.model;
    if (request.config) text += " config=" + *request.config;
    if (request.retries != 0) text += " retries=" + std::to_string(request.retries);
    if (request.verify) text += " verify";
    if (request.log != Request{}.log) text += " log=" + request.log;
    if (request.json) text += " json";
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
        {{}, "error: no command given (write, read, station or ports)"},
        {{"station", "fw.hex", "--port", "COM1", "--port", "COM2", "--log", "b.csv", "--verify"},
         "station fw.hex port=COM1 port=COM2 verify log=b.csv"},
        {{"write", "fw.hex", "--port", "COM1", "--log", "b.csv"},
         "error: write takes no option --log"},
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
    };
    return cases;
}

}  // namespace comflash::cli::testing
