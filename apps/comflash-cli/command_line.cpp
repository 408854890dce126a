#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <array>

namespace comflash::cli {

namespace {

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
                "Reads the device's lower 32 KiB and saves it to OUT.hex as the window's Save "
                "command saves it: Intel HEX records at 0x8000 up, leaving out the zero bytes at "
                "the start of each 32-byte block. It is no full image: written back, it lands at "
                "0x8000 up and the left-out zeros get the fill pattern."},
    CommandInfo{"station", Command::Station, "FILE.hex", "The firmware file, Intel HEX.",
                "Runs a production station until Ctrl-C: on every --port, each board put in is "
                "written once (as write does), recorded in the --log CSV, and must be taken out "
                "before the next is written. A second Ctrl-C stops at once. Exit status 0 when "
                "every recorded board passed."},
    CommandInfo{"ports", Command::Ports, nullptr, nullptr,
                "Lists each port COM1 to COM99 that opens, with the device it stands for."},
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

const QCommandLineOption kPort(
    "port", "COMn as the window names ports (see the ports folder), or a device path.", "PORT");
const QCommandLineOption kModel("model",
                                "The device's model identifier; else Config.txt's first item.",
                                "A:B:C");
const QCommandLineOption kConfig(
    "config",
    "The Config.txt to read; by default the one beside the program. Not read when "
    "--model is given without --config.",
    "FILE");
const QCommandLineOption kRetries(
    "retries",
    "Answer the \"Check connection\" prompt Retry N times before asking (or, without "
    "a terminal, answering Cancel).",
    "N", "0");

const QCommandLineOption kVerify(
    "verify",
    "Read the written range back before the device is told to start the application, and "
    "start it only when every byte matches; else the device stays in its bootloader. The "
    "device can read back only 0x8000 to 0xFFFF: a file below 0x8000 is refused.");

const QCommandLineOption kLog("log", "station: the CSV file every board's record is appended to.",
                              "FILE.csv", "comflash-station.csv");

const CommandInfo* findCommand(const QString& name) {
    for (const CommandInfo& info : kCommands) {
        if (name == QLatin1String(info.name)) return &info;
    }
    return nullptr;
}

// A parser that knows every option, so that options may stand before the command.
void addOptions(QCommandLineParser& parser) {
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({kPort, kModel, kConfig, kRetries, kVerify, kLog});
}

[[noreturn]] void showHelp(const CommandInfo* info) {
    QCommandLineParser parser;
    parser.addHelpOption();
    if (info == nullptr) {
        parser.addVersionOption();
        parser.setApplicationDescription(kSummary);
        parser.addPositionalArgument("command", "write, read, station or ports.", "COMMAND");
        parser.showHelp(0);
    }
    parser.setApplicationDescription(info->description);
    parser.addPositionalArgument(info->name, "The command.", info->name);
    if (info->file != nullptr) {
        parser.addPositionalArgument(info->file, info->fileText);
        parser.addOptions({kPort, kModel, kConfig, kRetries});
        if (info->command != Command::Read) parser.addOption(kVerify);
        if (info->command == Command::Station) parser.addOption(kLog);
    }
    parser.showHelp(0);
}

}  // namespace

std::variant<Request, std::string> parseRequest(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptions(parser);
    parser.addPositionalArgument("command", "write, read, station or ports.");
    if (!parser.parse(arguments)) return parser.errorText().toStdString();
    if (parser.isSet("version")) parser.showVersion();
    const QStringList positional = parser.positionalArguments();
    const CommandInfo* info = positional.isEmpty() ? nullptr : findCommand(positional.first());
    if (parser.isSet("help")) showHelp(info);
    if (positional.isEmpty())
        return std::string("no command given (write, read, station or ports)");
    if (info == nullptr) return "unknown command \"" + positional.first().toStdString() + "\"";

    Request request;
    request.command = info->command;
    if (info->file == nullptr) {
        if (positional.size() > 1) return std::string("ports takes no arguments");
        for (const auto* option : {&kPort, &kModel, &kConfig, &kRetries, &kVerify, &kLog}) {
            if (parser.isSet(*option)) {
                return "ports takes no option --" + option->names().first().toStdString();
            }
        }
        return request;
    }
    if (positional.size() != 2) {
        return std::string(info->name) + " takes one " + info->file + " (it was given " +
               std::to_string(positional.size() - 1) + ")";
    }
    request.file = positional[1].toStdString();
    if (!parser.isSet(kPort)) return std::string(info->name) + " needs --port PORT";
    for (const QString& port : parser.values(kPort)) request.ports.push_back(port.toStdString());
    request.port = request.ports.front();
    if (request.command == Command::Read && request.ports.size() > 1) {
        return std::string("read takes one --port");
    }
    request.verify = parser.isSet(kVerify);
    if (request.verify && request.command == Command::Read) {
        return std::string(info->name) + " takes no option --verify";
    }
    if (parser.isSet(kLog) && request.command != Command::Station) {
        return std::string(info->name) + " takes no option --log";
    }
    request.log = parser.value(kLog).toStdString();
    if (parser.isSet(kModel)) request.model = parser.value(kModel).toStdString();
    if (parser.isSet(kConfig)) request.config = parser.value(kConfig).toStdString();
    bool number = false;
    request.retries = parser.value(kRetries).toInt(&number);
    if (!number || request.retries < 0) {
        return "--retries needs a whole number from 0 up, not \"" +
               parser.value(kRetries).toStdString() + "\"";
    }
    return request;
}

}  // namespace comflash::cli
