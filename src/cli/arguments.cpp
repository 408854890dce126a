#include "cli/arguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "app/app_state.h"

namespace comflash::cli {

namespace {

struct OptionInfo {
    const char* name;
    const char* valueName;  // none for a switch
    const char* description;
};

enum Option : std::size_t {
    kPort,
    kModel,
    kConfig,
    kRetries,
    kVerify,
    kLog,
    kSerialAt,
    kSerialFormat,
    kSerialCounter,
    kSerialList,
    kSerialFromHook,
    kSerialFromDb,
    kBeforeBoard,
    kAfterBoard,
    kHookLimit,
    kDb,
    kStation,
    kJson,
    kOptionCount
};

constexpr std::array kSerialOptions{kSerialAt,   kSerialFormat,   kSerialCounter,
                                    kSerialList, kSerialFromHook, kSerialFromDb};

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
    OptionInfo{"serial-at", "ADDR",
               "Writes a serial number of its own into each board's image at ADDR (hexadecimal, "
               "0x optional), taken from --serial-counter or --serial-list before the board is "
               "written. Its bytes must lie inside the file's range. A number taken for a board "
               "that fails is void: it is never handed out again."},
    OptionInfo{"serial-format", "F",
               "How the serial number is written: u16le, u16be, u32le (the default), u32be, "
               "u64le or u64be (unsigned binary, little- or big-endian); decN (N ASCII digits, "
               "zero-padded, N from 1 to 20: dec8); mac (6 bytes, from 00:11:22:33:44:55, "
               "00-11-22-33-44-55 or 001122334455)."},
    OptionInfo{"serial-counter", "FILE",
               "A text file holding the next serial number (a whole number, or a MAC address): "
               "each board takes it and leaves the one after. Programs on one machine may share "
               "it. It must exist: echo 1000 > FILE."},
    OptionInfo{"serial-list", "FILE",
               "A file of serial numbers, one a line (blank lines and lines starting with # "
               "left out): each board takes the next; FILE.used beside it counts those taken."},
    OptionInfo{"serial-from-hook", nullptr,
               "station: the serial number is the first line the --before-board hook prints."},
    OptionInfo{"serial-from-db", nullptr,
               "station: the serial number comes from the factory's database (--db), from one "
               "sequence that every station shares; without the database no board starts."},
    OptionInfo{"before-board", "CMD",
               "station: run CMD through the shell once a board has answered, before anything "
               "is written, with COMFLASH_PORT, COMFLASH_DEVICE, COMFLASH_SHA256, "
               "COMFLASH_SERIAL and more in its environment. A non-zero exit refuses the board: "
               "nothing is written, and the refusal is recorded."},
    OptionInfo{"after-board", "CMD",
               "station: run CMD once a board is done, with its record's fields in "
               "COMFLASH_* variables, before the record is kept. Its failure is noted in the "
               "record and never changes the board's result."},
    OptionInfo{"hook-limit", "SECONDS",
               "station: how long a hook may take (30 by default); one that takes longer is "
               "ended, and its board refused (before-board) or its failure noted (after-board)."},
    OptionInfo{"db", "URL",
               "The factory's database (PostgreSQL), as a libpq connection string: "
               "\"host=H dbname=D user=U\" or postgresql://U@H/D; an empty one takes libpq's "
               "defaults and PG* variables. Every record is stored there as well, sent again "
               "while the database cannot be reached. Linux only."},
    OptionInfo{"station", "NAME", "The station's name in its records; by default the host's name."},
    OptionInfo{"json", nullptr,
               "For scripts: one JSON object per line on standard output (steps, progress, "
               "results, boards, ports; see docs/json.md), and the texts for people on standard "
               "error."},
};

struct CommandInfo {
    const char* name;
    const char* verb;  // the word after the name (records push); none for most
    Command command;
    const char* file;  // the positional argument after the command; none for ports
    const char* fileText;
    const char* description;
};

constexpr std::array kCommands{
    CommandInfo{"write", nullptr, Command::Write, "FILE.hex", "The firmware file, Intel HEX.",
                "Writes FILE.hex into the device, as the window's Update button writes the "
                "firmware file of its folder: version from the file name, model from --model "
                "or Config.txt. With several --port options, writes every device at once, one "
                "session per port, and ends with a table of the results; the retry prompt is "
                "then never asked."},
    CommandInfo{"read", nullptr, Command::Read, "OUT.hex",
                "The file to save the device's memory to.",
                "Reads the device's read window, its memory at 0x8000 to 0xFFFF (read requests "
                "for 0x0000 to 0x7FFF), and saves it to OUT.hex as the window's Save command "
                "saves it: Intel HEX records at 0x8000 up, where the bytes lie in the device, "
                "leaving out the zero bytes at the start of each 32-byte block. It is no full "
                "image: written back, the left-out zeros get the fill pattern."},
    CommandInfo{"station", nullptr, Command::Station, "FILE.hex", "The firmware file, Intel HEX.",
                "Runs a production station until Ctrl-C: on every --port, each board put in is "
                "written once (as write does), recorded in the --log CSV, and must be taken out "
                "before the next is written. A second Ctrl-C stops at once. Exit status 0 when "
                "every recorded board passed."},
    CommandInfo{"ports", nullptr, Command::Ports, nullptr, nullptr,
                "Lists each port COM1 to COM99 that opens. On Linux each comes with "
                "the device it stands for; then, where the system knows it, the USB adapter "
                "behind it: vendor:product ids, maker and product, its serial number and its "
                "/dev/serial/by-id link (on Windows the name the system gives the port)."},
    CommandInfo{"records", "push", Command::RecordsPush, "LOG.csv", "A station's CSV log.",
                "Stores every record of a station's log in the factory's database (--db) that "
                "is not there yet: a record is known by its id (a log of the older format, "
                "without ids, by its line), so a log pushed twice is stored once. A last line "
                "torn when the station stopped is left out, with a warning. Exit status 0 when "
                "every record read is in the database, 1 when the database cannot be reached "
                "or refuses them."},
};

constexpr const char* kSummary =
    "Writes firmware into a device through its serial bootloader, or reads it back.\n\n"
    "Commands:\n"
    "  write FILE.hex --port PORT [--port PORT ...] [--model A:B:C] [--config FILE] "
    "[--retries N] [--verify] [--serial-at ADDR ...]\n"
    "  station FILE.hex --port PORT [--port PORT ...] [--verify] [--log FILE.csv] ...\n"
    "  read OUT.hex --port PORT [--model A:B:C] [--config FILE] [--retries N]\n"
    "  ports\n"
    "  records push LOG.csv --db URL\n\n"
    "comflash-cli COMMAND --help describes a command; --json writes JSON lines for scripts.\n\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the device refused or failed (another model, a refused handshake, failed frames, a "
    "port lost or Cancel after it answered), Ctrl-C, or the read could not be saved\n"
    "  2  bad input: usage, Config.txt, the firmware file; nothing was sent to any device\n"
    "  3  no device could be reached: the port missing or busy, no answer, Cancel before a "
    "device answered\n"
    "  4  --verify: the device's memory differs from the file; the application was not "
    "started\n"
    "With several ports, the worst port's status in the order 1, 4, 3, 0. The station exits 0 "
    "when every recorded board passed, else 1 (2 for bad input).";

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

// Whether a command takes an option.
bool takes(Command command, Option option) {
    const bool stationOnly = option == kLog || option == kDb || option == kStation ||
                             (option >= kSerialFromHook && option <= kHookLimit);
    const bool serial = option >= kSerialAt && option <= kSerialFromDb;
    switch (command) {
        case Command::RecordsPush:
            return option == kDb;
        case Command::Station:
            return true;
        case Command::Read:
            return option != kVerify && !serial && !stationOnly;
        default:
            return !stationOnly;
    }
}

std::string helpText(const CommandInfo* info) {
    std::vector<std::pair<std::string, std::string>> options{
        {"-?, -h, --help", "Displays help on commandline options."}};
    std::vector<std::pair<std::string, std::string>> positional;
    std::string usage = "Usage: comflash-cli [options] ";
    std::string description;
    if (info == nullptr) {
        options.emplace_back("-v, --version", "Displays version information.");
        positional.emplace_back("command", "write, read, station, ports or records.");
        usage += "COMMAND";
        description = kSummary;
    } else {
        positional.emplace_back(info->name, "The command.");
        usage += info->name;
        if (info->verb != nullptr) {
            positional.emplace_back(info->verb, "What it does to the records.");
            usage += std::string(" ") + info->verb;
        }
        description = info->description;
        if (info->file == nullptr) options.emplace_back("--json", kOptions[kJson].description);
        if (info->file != nullptr) {
            usage += std::string(" ") + info->file;
            positional.emplace_back(info->file, info->fileText);
            for (std::size_t i = 0; i < kOptions.size(); ++i) {
                if (!takes(info->command, static_cast<Option>(i))) continue;
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

// An address in the image: hexadecimal digits, 0x before them or not.
std::optional<std::int32_t> imageAddress(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    unsigned long address = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), address, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        address >= kImageSize) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(address);
}

// --serial-at and its source and format; empty when the request may go on, else why not.
std::string readSerialNumbers(const Found& found, const CommandInfo& info, Request& request) {
    for (const Option option : kSerialOptions) {
        if (!found.set[option]) continue;
        const std::string name = std::string("--") + kOptions[option].name;
        if (info.command == Command::Read) return std::string("read takes no option ") + name;
        if (!found.set[kSerialAt]) return name + " needs --serial-at ADDR";
    }
    if (!found.set[kSerialAt]) return {};
    if (info.command == Command::Write && request.ports.size() > 1) {
        return "--serial-at: write takes one --port, since each board needs a number of its "
               "own; station gives every board one";
    }
    SerialNumbers serial;
    const std::string& at = found.values[kSerialAt].back();
    const auto address = imageAddress(at);
    if (!address) {
        return "--serial-at needs a hexadecimal address from 0x0000 to 0xFFFF, not \"" + at + "\"";
    }
    serial.at = *address;
    if (found.set[kSerialFormat]) {
        auto format = factory::parseSerialFormat(found.values[kSerialFormat].back());
        if (const auto* why = std::get_if<std::string>(&format)) return "--serial-format: " + *why;
        serial.format = std::get<factory::SerialFormat>(format);
    }
    const std::array sources{std::pair{kSerialCounter, SerialNumbers::Source::Counter},
                             std::pair{kSerialList, SerialNumbers::Source::List},
                             std::pair{kSerialFromHook, SerialNumbers::Source::Hook},
                             std::pair{kSerialFromDb, SerialNumbers::Source::Database}};
    const auto given = std::count_if(sources.begin(), sources.end(), [&found](const auto& source) {
        return found.set[source.first];
    });
    if (given != 1) {
        return given > 1 ? "--serial-at takes one source: --serial-counter, --serial-list, "
                           "--serial-from-hook or --serial-from-db"
                         : "--serial-at needs a source: --serial-counter FILE or --serial-list "
                           "FILE (station also --serial-from-hook or --serial-from-db)";
    }
    for (const auto& [option, source] : sources) {
        if (!found.set[option]) continue;
        serial.source = source;
        if (kOptions[option].valueName != nullptr) serial.from = found.values[option].back();
    }
    if (serial.source == SerialNumbers::Source::Hook && !found.set[kBeforeBoard]) {
        return std::string("--serial-from-hook needs --before-board CMD");
    }
    if (serial.source == SerialNumbers::Source::Database && !found.set[kDb]) {
        return std::string("--serial-from-db needs --db URL");
    }
    request.serial = std::move(serial);
    return {};
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
        return std::string("no command given (write, read, station, ports or records)");
    }
    if (info == nullptr) return "unknown command \"" + positional.front() + "\"";

    Request request;
    request.command = info->command;
    if (info->file == nullptr) {
        if (positional.size() > 1) return std::string("ports takes no arguments");
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            if (found.set[i] && i != kJson) {
                return std::string("ports takes no option --") + kOptions[i].name;
            }
        }
        request.json = found.set[kJson];
        return request;
    }
    std::size_t first = 1;  // the first argument after the command's words
    if (info->verb != nullptr) {
        if (positional.size() < 2 || positional[1] != info->verb) {
            return std::string(info->name) + " takes " + info->verb + " " + info->file;
        }
        first = 2;
    }
    const std::string name =
        info->verb != nullptr ? std::string(info->name) + " " + info->verb : info->name;
    if (positional.size() != first + 1) {
        return name + " takes one " + info->file + " (it was given " +
               std::to_string(positional.size() - first) + ")";
    }
    request.file = positional[first];
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        if (found.set[i] && !takes(request.command, static_cast<Option>(i))) {
            return name + " takes no option --" + kOptions[i].name;
        }
    }
    if (found.set[kDb]) request.db = found.values[kDb].back();
    if (found.set[kStation]) {
        request.station = found.values[kStation].back();
        if (request.station.empty()) return std::string("--station needs a name");
    }
    if (request.command == Command::RecordsPush) {
        if (!request.db) return name + " needs --db URL";
        return request;
    }
    if (!found.set[kPort]) return std::string(info->name) + " needs --port PORT";
    request.ports = found.values[kPort];
    request.port = request.ports.front();
    if (request.command == Command::Read && request.ports.size() > 1) {
        return std::string("read takes one --port");
    }
    request.verify = found.set[kVerify];
    request.json = found.set[kJson];
    if (found.set[kLog]) request.log = found.values[kLog].back();
    if (found.set[kModel]) request.model = found.values[kModel].back();
    if (found.set[kConfig]) request.config = found.values[kConfig].back();
    const std::string retries = found.set[kRetries] ? found.values[kRetries].back() : "0";
    const auto number = wholeNumber(retries);
    if (!number || *number < 0) {
        return "--retries needs a whole number from 0 up, not \"" + retries + "\"";
    }
    request.retries = *number;
    if (std::string why = readSerialNumbers(found, *info, request); !why.empty()) return why;
    if (found.set[kBeforeBoard]) request.beforeBoard = found.values[kBeforeBoard].back();
    if (found.set[kAfterBoard]) request.afterBoard = found.values[kAfterBoard].back();
    for (const Option hook : {kBeforeBoard, kAfterBoard}) {
        if (found.set[hook] && found.values[hook].back().empty()) {
            return std::string("--") + kOptions[hook].name + " needs a command";
        }
    }
    if (found.set[kHookLimit]) {
        const std::string& text = found.values[kHookLimit].back();
        double seconds = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            !(seconds > 0 && seconds <= 86400)) {
            return "--hook-limit needs seconds from 0.001 to 86400, not \"" + text + "\"";
        }
        request.hookLimit = std::max(1, static_cast<int>(seconds * 1000 + 0.5));
    }
    return request;
}

}  // namespace comflash::cli
