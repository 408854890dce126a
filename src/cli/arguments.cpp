#include "cli/arguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace comflash::cli {

namespace {

struct OptionInfo {
    const char* name;
    const char* valueName;  // none for a switch
    const char* description;
};

enum Option : std::size_t { kPort, kModel, kConfig, kRetries, kVerify, kLog, kOptionCount };

constexpr std::array<OptionInfo, kOptionCount> kOptions{
    OptionInfo{"port", "PORT",
               "COMn, as the window's COM dialog lists ports; on Linux also the path of a "
               "serial device (see the ports folder). Or the USB adapter's serial number, which "
               "stays when the ports are numbered anew: serial:A10K3X, or plain A10K3X (any "
               "text that is neither COMn nor a path; on Linux also a /dev/serial/by-id name). "
               "A serial number two ports share, or none has, is refused."},
    OptionInfo{"model", "A:B:C", "The device's model identifier; else Config.txt's first item."},
    OptionInfo{"config", "FILE",
               "The Config.txt to read; by default the one beside the program. Not read when "
               "--model is given without --config."},
    OptionInfo{"retries", "N",
               "Answer the \"Check connection\" prompt Retry N times before asking (or, without "
               "a terminal, answering Cancel)."},
    OptionInfo{"verify", nullptr,
               "Read the written range back before the device is told to start the "
               "application, and start it only when every byte matches; else the device stays "
               "in its bootloader. The device can read back only 0x8000 to 0xFFFF: a file below "
               "0x8000 is refused."},
    OptionInfo{"log", "FILE.csv",
               "The CSV file every board's record is appended to; by default "
               "comflash-station.csv in the current folder."},
};

struct CommandInfo {
    const char* name;
    Command command;
    const char* file;  // the positional argument after the command; none for ports
    const char* fileText;
    const char* description;
};

constexpr std::array kCommands{
    CommandInfo{"write", Command::Write, "FILE.hex", "The firmware file, Intel HEX.",
                "Writes FILE.hex into the device, as the window's Update button writes the "
                "firmware file of its folder: version from the file name, model from --model "
                "or Config.txt. With several --port options, writes every device at once, one "
                "session per port, and ends with a table of the results; the retry prompt is "
                "then never asked."},
    CommandInfo{"read", Command::Read, "OUT.hex", "The file to save the device's memory to.",
                "Reads the device's read window, its memory at 0x8000 to 0xFFFF (read requests "
                "for 0x0000 to 0x7FFF), and saves it to OUT.hex as the window's Save command "
                "saves it: Intel HEX records at 0x8000 up, where the bytes lie in the device, "
                "leaving out the zero bytes at the start of each 32-byte block. It is no full "
                "image: written back, the left-out zeros get the fill pattern."},
    CommandInfo{"station", Command::Station, "FILE.hex", "The firmware file, Intel HEX.",
                "Runs a production station until Ctrl-C: on every --port, each board put in is "
                "written once (as write does), recorded in the --log CSV, and must be taken out "
                "before the next is written. A second Ctrl-C stops at once. Exit status 0 when "
                "every recorded board passed."},
    CommandInfo{"ports", Command::Ports, nullptr, nullptr,
                "Lists each port COM1 to COM99 that opens. On Linux each comes with "
                "the device it stands for; then, where the system knows it, the USB adapter "
                "behind it: vendor:product ids, maker and product, its serial number and its "
                "/dev/serial/by-id link (on Windows the name the system gives the port)."},
};

constexpr const char* kSummary =
    "Writes firmware into a device through its serial bootloader, or reads it back.\n\n"
    "Commands:\n"
    "  write FILE.hex --port PORT [--port PORT ...] [--model A:B:C] [--config FILE] "
    "[--retries N] [--verify]\n"
    "  station FILE.hex --port PORT [--port PORT ...] [--verify] [--log FILE.csv] ...\n"
    "  read OUT.hex --port PORT [--model A:B:C] [--config FILE] [--retries N]\n"
    "  ports\n\n"
    "comflash-cli COMMAND --help describes a command. Exit status: 0 success, 1 the session "
    "failed or was cancelled (on any of several ports), 2 bad input (nothing was sent to any "
    "device).";

constexpr std::size_t kHelpWidth = 79;

// What was found on the command line, before its meaning is checked.
struct Found {
    std::array<std::vector<std::string>, kOptionCount> values;
    std::array<bool, kOptionCount> set{};
    bool help = false;
    bool version = false;
    std::vector<std::string> positional;
    std::vector<std::string> unknown;
    std::string error;  // a value missing or not wanted; wins over unknown options
};

std::optional<Option> longOption(std::string_view name) {
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        if (name == kOptions[i].name) return static_cast<Option>(i);
    }
    return std::nullopt;
}

// Takes the value of a long option: after "=", or the next argument.
void takeValue(Found& found, Option option, const std::string& argument,
               const std::vector<std::string>& arguments, std::size_t& i) {
    const std::size_t assign = argument.find('=');
    if (kOptions[option].valueName == nullptr) {
        if (assign != std::string::npos) {
            found.error = "Unexpected value after '" + argument.substr(0, assign) + "'.";
        }
    } else if (assign != std::string::npos) {
        found.values[option].push_back(argument.substr(assign + 1));
    } else if (++i == arguments.size()) {
        found.error = "Missing value after '" + argument + "'.";
    } else {
        found.values[option].push_back(arguments[i]);
    }
}

// A single dash stands before letters, each its own switch: -h, -? and -v are the only ones.
void takeShortOptions(Found& found, const std::string& argument) {
    for (std::size_t pos = 1; pos < argument.size(); ++pos) {
        const char letter = argument[pos];
        if (letter == 'h' || letter == '?') {
            found.help = true;
        } else if (letter == 'v') {
            found.version = true;
        } else {
            found.unknown.emplace_back(1, letter);
            continue;
        }
        if (pos + 1 < argument.size() && argument[pos + 1] == '=') {
            found.error = "Unexpected value after '-" + std::string(1, letter) + "'.";
            return;
        }
    }
}

Found scan(const std::vector<std::string>& arguments) {
    Found found;
    bool positionalOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (positionalOnly || argument.size() < 2 || argument[0] != '-') {
            found.positional.push_back(argument);
        } else if (argument == "--") {
            positionalOnly = true;
        } else if (argument[1] == '-') {
            const std::string name = argument.substr(2, argument.find('=') - 2);
            if (name == "help" || name == "help-all") {
                found.help = true;
            } else if (name == "version") {
                found.version = true;
            } else if (const auto option = longOption(name)) {
                found.set[*option] = true;
                takeValue(found, *option, argument, arguments, i);
                continue;
            } else {
                found.unknown.push_back(name);
                continue;
            }
            if (argument.find('=') != std::string::npos) {
                found.error =
                    "Unexpected value after '" + argument.substr(0, argument.find('=')) + "'.";
            }
        } else {
            takeShortOptions(found, argument);
        }
    }
    return found;
}

std::string errorText(const Found& found) {
    if (!found.error.empty()) return found.error;
    if (found.unknown.size() == 1) return "Unknown option '" + found.unknown.front() + "'.";
    std::string text = "Unknown options: ";
    for (std::size_t i = 0; i < found.unknown.size(); ++i) {
        text += (i > 0 ? ", " : "") + found.unknown[i];
    }
    return text + ".";
}

// Words of `text` in lines of at most `width` characters.
std::vector<std::string> wrapped(std::string_view text, std::size_t width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        if (!line.empty()) line += ' ';
        line += word;
        start = end + 1;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Two columns: names, then their descriptions wrapped beside them.
std::string table(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::size_t nameWidth = 0;
    for (const auto& [name, text] : rows) nameWidth = std::max(nameWidth, name.size());
    const std::size_t indent = 2 + nameWidth + 2;
    std::string out;
    for (const auto& [name, text] : rows) {
        const auto lines = wrapped(text, kHelpWidth > indent + 20 ? kHelpWidth - indent : 20);
        std::string first = "  " + name;
        first.resize(indent, ' ');
        for (std::size_t i = 0; i < lines.size(); ++i) {
            out += (i == 0 ? first : std::string(indent, ' ')) + lines[i] + "\n";
        }
        if (lines.empty()) out += first + "\n";
    }
    return out;
}

std::string helpText(const CommandInfo* info) {
    std::vector<std::pair<std::string, std::string>> options{
        {"-?, -h, --help", "Displays help on commandline options."}};
    std::vector<std::pair<std::string, std::string>> positional;
    std::string usage = "Usage: comflash-cli [options] ";
    std::string description;
    if (info == nullptr) {
        options.emplace_back("-v, --version", "Displays version information.");
        positional.emplace_back("command", "write, read, station or ports.");
        usage += "COMMAND";
        description = kSummary;
    } else {
        positional.emplace_back(info->name, "The command.");
        usage += info->name;
        description = info->description;
        if (info->file != nullptr) {
            usage += std::string(" ") + info->file;
            positional.emplace_back(info->file, info->fileText);
            for (std::size_t i = 0; i < kOptions.size(); ++i) {
                if (i == kVerify && info->command == Command::Read) continue;
                if (i == kLog && info->command != Command::Station) continue;
                std::string names = std::string("--") + kOptions[i].name;
                if (kOptions[i].valueName != nullptr) {
                    names += std::string(" <") + kOptions[i].valueName + ">";
                }
                options.emplace_back(names, kOptions[i].description);
            }
        }
    }
    std::string text = usage + "\n";
    std::size_t start = 0;
    while (start <= description.size()) {
        const std::size_t end = std::min(description.find('\n', start), description.size());
        const std::string_view paragraph = std::string_view(description).substr(start, end - start);
        // The command lines of the summary keep their indent, and their continuations more.
        const bool indented = paragraph.starts_with("  ");
        const auto lines = wrapped(paragraph, kHelpWidth - (indented ? 4 : 0));
        if (lines.empty()) text += "\n";
        for (std::size_t i = 0; i < lines.size(); ++i) {
            text += std::string(indented ? (i == 0 ? 2 : 4) : 0, ' ') + lines[i] + "\n";
        }
        start = end + 1;
    }
    return text + "\nOptions:\n" + table(options) + "\nArguments:\n" + table(positional);
}

// A whole number, as Qt reads one: blanks around it and a sign allowed.
std::optional<int> wholeNumber(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t\r\n\v\f") - first + 1);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-') || text.starts_with('+')) return std::nullopt;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

const CommandInfo* findCommand(std::string_view name) {
    for (const CommandInfo& info : kCommands) {
        if (name == info.name) return &info;
    }
    return nullptr;
}

}  // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments,
                               std::string_view version) {
    const Found found = scan(arguments);
    if (!found.error.empty() || !found.unknown.empty()) return errorText(found);
    if (found.version) return ShownText{"comflash-cli " + std::string(version) + "\n"};
    const auto& positional = found.positional;
    const CommandInfo* info = positional.empty() ? nullptr : findCommand(positional.front());
    if (found.help) return ShownText{helpText(info)};
    if (positional.empty()) {
        return std::string("no command given (write, read, station or ports)");
    }
    if (info == nullptr) return "unknown command \"" + positional.front() + "\"";

    Request request;
    request.command = info->command;
    if (info->file == nullptr) {
        if (positional.size() > 1) return std::string("ports takes no arguments");
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            if (found.set[i]) return std::string("ports takes no option --") + kOptions[i].name;
        }
        return request;
    }
    if (positional.size() != 2) {
        return std::string(info->name) + " takes one " + info->file + " (it was given " +
               std::to_string(positional.size() - 1) + ")";
    }
    request.file = positional[1];
    if (!found.set[kPort]) return std::string(info->name) + " needs --port PORT";
    request.ports = found.values[kPort];
    request.port = request.ports.front();
    if (request.command == Command::Read && request.ports.size() > 1) {
        return std::string("read takes one --port");
    }
    request.verify = found.set[kVerify];
    if (request.verify && request.command == Command::Read) {
        return std::string(info->name) + " takes no option --verify";
    }
    if (found.set[kLog] && request.command != Command::Station) {
        return std::string(info->name) + " takes no option --log";
    }
    if (found.set[kLog]) request.log = found.values[kLog].back();
    if (found.set[kModel]) request.model = found.values[kModel].back();
    if (found.set[kConfig]) request.config = found.values[kConfig].back();
    const std::string retries = found.set[kRetries] ? found.values[kRetries].back() : "0";
    const auto number = wholeNumber(retries);
    if (!number || *number < 0) {
        return "--retries needs a whole number from 0 up, not \"" + retries + "\"";
    }
    request.retries = *number;
    return request;
}

}  // namespace comflash::cli
