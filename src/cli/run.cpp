#include "cli/run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/file_replacement.h"
#include "app/system_text.h"
#include "cli/arguments.h"
#include "cli/console.h"
#include "cli/firmware_warnings.h"
#include "cli/json_output.h"
#include "cli/line_display.h"
#include "cli/port_listing.h"
#include "cli/production_run.h"
#include "cli/run_setup.h"
#include "cli/station.h"
#include "cli/station_log.h"
#include "cli/station_log_reader.h"
#include "driver/driver.h"
#include "image/hex_writer.h"
#include "session/messages.h"

namespace comflash::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kReadSucceeded = "读取成功";
constexpr std::string_view kInterrupted = "\nInterrupted: the ports are closed.\n";
// A read-back reads the device's whole read window.
constexpr std::int32_t kReadEnd = 0x7FFF;

// Milliseconds since `start`.
std::function<std::chrono::milliseconds()> since(Clock::time_point start) {
    return [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    };
}

session::Request writeRequest(const Settings& settings, const image::FirmwareFile& firmware,
                              bool verify) {
    session::Request request;
    request.mode = session::Mode::Update;
    request.model = settings.model;
    const SentVersion version = sentVersion(firmware.version);
    request.major = version.major;
    request.minor = version.minor;
    request.start = firmware.start;
    request.end = firmware.end;
    request.verify = verify;
    return request;
}

// Prints the file's refusal: the system's message, then its reason.
void refuseFirmware(Console& console, const std::string& path,
                    const image::FirmwareFileFailure& failure) {
    const std::vector<std::string> lines = firmwareRefusal(path, failure);
    console.failure(lines[0]);
    console.warn(lines[1]);
}

int listPorts(Host& host, RunOutput& output) {
    const std::vector<PortDescription> ports = host.openingPorts();
    for (const PortDescription& port : ports) output.text() << portLine(port) << '\n';
    output.text() << std::flush;
    if (JsonLines* json = output.json()) listPortsAsJson(host, ports, *json);
    if (ports.empty()) host.err() << "No port from COM1 to COM99 opens.\n";
    // Ports that are there but refused: a user who cannot open the adapter must hear why.
    for (const std::string& line : host.refusedPorts()) host.err() << line << '\n';
    host.err() << std::flush;
    return kExitSucceeded;
}

// One session on one port: a write of FILE.hex, or a read saved to OUT.hex. The retry prompt
// is answered from --retries, then by the user on a terminal, else Cancel.
int runOnePort(const Request& request, Host& host, RunOutput& output) {
    Console console(output.text(), output.err(), output.textIsTerminal(), host.inIsTerminal(),
                    request.retries);
    JsonLines* json = output.json();
    // Ctrl-C from the start: before the session, it ends the program as soon as it looks.
    bool interrupted = false;
    std::function<void()> stopSession;
    host.onInterrupt([&](int) {
        interrupted = true;
        if (stopSession) stopSession();
    });
    const PortArgument port = parsePortArgument(request.port, host.namesDevicesByPath());
    if (const std::string why = port.failure.empty() ? host.portRefusal(port) : port.failure;
        !why.empty()) {
        console.warn("--port: " + why);
        return kExitBadInput;
    }
    const auto started = startUp(request, host.programFolder());
    if (const auto* why = std::get_if<std::string>(&started)) {
        console.warn(*why);
        return kExitBadInput;
    }
    const Settings& settings = std::get<Settings>(started);
    const bool write = request.command == Command::Write;
    std::variant<image::FirmwareFile, image::FirmwareFileFailure> loaded;
    if (write) {
        loaded = image::ReadFirmwareFile(request.file);
        if (const auto* firmware = std::get_if<image::FirmwareFile>(&loaded)) {
            if (const std::string why = verifyRefusal(request, *firmware); !why.empty()) {
                console.warn(why);
                return kExitBadInput;
            }
        }
    } else if (const std::string why = saveTargetProblem(request.file); !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }

    const std::string portName = port.device.empty() ? request.port : port.device;
    const std::string shown = host.shownDevice(port);
    const std::string portShown = !port.device.empty() ? port.device
                                  : shown.empty()      ? request.port
                                                       : request.port + " (" + shown + ")";
    ImageBytes readBack{};
    session::Request session;
    ImageBytes* image = &readBack;
    std::string serialNumber;  // placed into the image; void unless the board passes
    const auto voidSerial = [&] {
        if (!serialNumber.empty()) {
            console.warn("Serial number " + serialNumber +
                         " is void: the board did not pass; it is never handed out again");
        }
    };
    if (write) {
        console.info("Writing " + firmwareText(request.file, image::VersionFromPath(request.file)) +
                     " to model " + modelText(settings.model) + " on " + portShown);
        if (const auto* failure = std::get_if<image::FirmwareFileFailure>(&loaded)) {
            refuseFirmware(console, request.file, *failure);
            return kExitBadInput;
        }
        auto& firmware = std::get<image::FirmwareFile>(loaded);
        for (const std::string& line : firmwareWarnings(request.file, firmware)) console.info(line);
        if (request.serial) {
            if (const std::string why = serialFitRefusal(request, firmware); !why.empty()) {
                console.warn(why);
                return kExitBadInput;
            }
            const BoardSerial placed =
                placeBoardSerial(*request.serial, *serialSource(*request.serial), firmware.start,
                                 firmware.end, firmware.image);
            if (!placed.refusal.empty()) {
                console.warn(placed.refusal);
                return kExitBadInput;
            }
            serialNumber = placed.serial;
        }
        session = writeRequest(settings, firmware, request.verify);
        image = &firmware.image;
    } else {
        console.info("Reading 32768 bytes from " + portShown + " into " +
                     app::shownName(request.file));
        session.mode = session::Mode::Read;
        session.model = settings.model;
        session.start = 0;
        session.end = kReadEnd;
    }

    const auto serial = host.makePort(port);
    const auto timer = host.makeTimer();
    driver::Driver driver(*serial, *timer);
    const auto elapsed = since(Clock::now());
    bool asking = false;
    driver.askRetry = [&]() -> std::optional<bool> {
        const std::optional<bool> answer = console.askRetry(session::retryPrompt(true));
        asking = !answer;
        if (asking) {
            host.readLines([&](const std::optional<std::string>& line) {
                if (!asking) return;
                if (const auto typed = console.reply(line)) {
                    asking = false;
                    driver.answerRetry(*typed);
                }
            });
        }
        return answer;
    };
    driver.onStep = [&](session::Progress::Step step) {
        if (json) json->step(request.port, step);
    };
    driver.onProgress = [&](const session::Progress& progress) {
        if (json) json->progress(request.port, progress);
        // The fraction as the session window's bar holds it.
        console.progress(static_cast<float>(session::shownFraction(progress)), progress.total,
                         elapsed(), progress.step == session::Session::Step::Verify);
    };
    std::optional<session::Result> ended;
    driver.onEnded = [&](const session::Result& result) {
        ended = result;
        if (const std::string text = session::endMessage(result, true); !text.empty()) {
            console.failure(text);
        }
    };
    stopSession = [&driver] { driver.stop(); };
    host.runUntil([] { return true; });  // a Ctrl-C that came before the session
    if (!interrupted) driver.start(session, *image);
    host.runUntil([&] { return ended || interrupted; });
    stopSession = nullptr;
    // The result object, and the exit status it gives.
    const auto end = [&](const session::Result& result, int status, std::string message) {
        if (json) {
            json->result({write ? "write" : "read", request.port, request.file, result,
                          std::move(message), bytesDone(session, result, driver.progress().step),
                          static_cast<double>(elapsed().count()) / 1000, status});
        }
        return status;
    };
    if (!ended) {
        host.err() << kInterrupted << std::flush;
        voidSerial();
        return end(driver.result().value_or(session::Result{}), kExitFailed,
                   std::string(kInterrupted.substr(1, kInterrupted.size() - 2)));
    }

    const session::Result& result = *ended;
    const int status = exitStatusOf(result, driver.progress().step);
    if (result.succeeded()) {
        console.report(write ? session::kSucceededText : kReadSucceeded);
    } else if (const std::string line = host.portFailureLine(result.fault, portName);
               !line.empty()) {
        console.warn(line);
    }
    if (!write) {
        if (!result.succeeded()) return end(result, status, resultText(result));
        // Saved exactly as the window's Save command saves, and as atomically.
        if (const std::string why =
                app::ReplaceFileContents(request.file, image::ReadBackHexText(readBack));
            !why.empty()) {
            console.warn(app::shownName(request.file) + ": cannot be saved: " + why);
            return end(result, kExitFailed,
                       app::shownName(request.file) + ": cannot be saved: " + why);
        }
        console.info("Saved " + app::shownName(request.file));
        return end(result, kExitSucceeded, std::string(kReadSucceeded));
    }
    if (result.outcome == session::Outcome::HandshakeRefused) console.warn(kHandshakeRefused);
    if (result.outcome == session::Outcome::OtherModel) console.warn(reportedModelText(result));
    if (const std::string line = failureAddressLine(result); !line.empty()) console.warn(line);
    if (result.verified) {
        char text[120];
        std::snprintf(text, sizeof text,
                      "Verified: the device holds the file's bytes from 0x%04X to 0x%04X.",
                      static_cast<unsigned>(session.start), static_cast<unsigned>(session.end));
        console.info(text);
    }
    if (!result.succeeded()) {
        voidSerial();
    } else if (!serialNumber.empty()) {
        char at[16];
        std::snprintf(at, sizeof at, "0x%04X", static_cast<unsigned>(request.serial->at));
        console.info("Serial number " + serialNumber + " written at " + at + " (" +
                     factory::formatName(request.serial->format) + ").");
    }
    return end(result, status, resultText(result));
}

// What a run on several ports (a line, or the station) settles before any port opens: the
// ports, the settings, the firmware file read once. Prints the refusal and returns false when
// the run may not go on.
struct Prepared {
    std::vector<PortArgument> ports;
    Settings settings;
    std::unique_ptr<image::FirmwareFile> firmware;
};

bool prepare(const Request& request, Host& host, Console& console, Prepared& prepared) {
    auto read = readPorts(
        request.ports, [&host](const PortArgument& p) { return host.deviceOf(p); },
        host.namesDevicesByPath());
    if (const auto* why = std::get_if<std::string>(&read)) {
        console.warn(*why);
        return false;
    }
    prepared.ports = std::move(std::get<std::vector<PortArgument>>(read));
    for (std::size_t i = 0; i < prepared.ports.size(); ++i) {
        if (const std::string why = host.portRefusal(prepared.ports[i]); !why.empty()) {
            console.warn("--port " + request.ports[i] + ": " + why);
            return false;
        }
    }
    auto started = startUp(request, host.programFolder());
    if (const auto* why = std::get_if<std::string>(&started)) {
        console.warn(*why);
        return false;
    }
    prepared.settings = std::get<Settings>(started);
    auto loaded = image::ReadFirmwareFile(request.file);
    if (const auto* failure = std::get_if<image::FirmwareFileFailure>(&loaded)) {
        refuseFirmware(console, request.file, *failure);
        return false;
    }
    prepared.firmware =
        std::make_unique<image::FirmwareFile>(std::move(std::get<image::FirmwareFile>(loaded)));
    if (const std::string why = verifyRefusal(request, *prepared.firmware); !why.empty()) {
        console.warn(why);
        return false;
    }
    return true;
}

PortSupply supplyOf(Host& host, const std::vector<PortArgument>& ports) {
    return {[&host, ports](std::size_t i) { return host.makePort(ports.at(i)); },
            [&host] { return host.makeTimer(); }};
}

// Every `milliseconds` while the loop runs: redraws what the operator sees.
class Refresh {
  public:
    Refresh(Host& host, int milliseconds, std::function<void()> draw)
        : timer_(host.makeTimer()), milliseconds_(milliseconds) {
        timer_->onExpired = [this, draw = std::move(draw)] {
            draw();
            timer_->start(milliseconds_);
        };
        timer_->start(milliseconds_);
    }
    ~Refresh() { timer_->stop(); }
    Refresh(const Refresh&) = delete;
    Refresh& operator=(const Refresh&) = delete;

  private:
    std::unique_ptr<driver::Timer> timer_;
    int milliseconds_;
};

// One update session per port, all at once: the firmware file is read once, then every
// session runs on the one event loop with its own state. Ends with a table of the results.
int runLine(const Request& request, Host& host, RunOutput& output) {
    // Nobody is asked anything: the prompt is answered from --retries.
    Console console(output.text(), output.err(), output.textIsTerminal(), false, request.retries);
    JsonLines* json = output.json();
    bool interrupted = false;
    std::function<void()> stopRun;
    host.onInterrupt([&](int) {
        interrupted = true;
        if (stopRun) stopRun();
    });
    Prepared prepared;
    if (!prepare(request, host, console, prepared)) return kExitBadInput;
    const image::FirmwareFile& firmware = *prepared.firmware;
    console.info("Writing " + firmwareText(request.file, firmware.version) + " to model " +
                 modelText(prepared.settings.model) + " on " +
                 counted(prepared.ports.size(), "port"));
    for (const std::string& line : firmwareWarnings(request.file, firmware)) console.info(line);

    const session::Request session = writeRequest(prepared.settings, firmware, request.verify);
    ProductionRun run(session, firmware.image, supplyOf(host, prepared.ports), request.ports,
                      request.retries, since(Clock::now()));
    if (json) {
        run.onStep = [&](std::size_t i, session::Progress::Step step) {
            json->step(request.ports[i], step);
        };
        run.onProgress = [&](std::size_t i, const session::Progress& progress) {
            json->progress(request.ports[i], progress);
        };
    }
    const bool terminal = output.textIsTerminal();
    LineDisplay display(terminal, terminal ? host.columns() : 0);
    const auto show = [&] { output.text() << display.update(run.status()) << std::flush; };
    stopRun = [&run] { run.stop(); };
    host.runUntil([] { return true; });  // a Ctrl-C that came before the sessions
    if (!interrupted) run.start();
    show();
    if (!run.ended()) {
        const Refresh refresh(host, terminal ? 200 : 100, show);
        host.runUntil([&run] { return run.ended(); });
    }
    show();
    output.text() << '\n' << LineDisplay::summary(run.status()) << std::flush;
    const std::vector<PortStatus> ended = run.status();
    for (std::size_t i = 0; i < ended.size(); ++i) {
        if (json) {
            const session::Result& result = ended[i].outcome;
            json->result({"write", request.ports[i], request.file, result, ended[i].result,
                          bytesDone(session, result, ended[i].step),
                          static_cast<double>(ended[i].elapsed.count()) / 1000,
                          exitStatusOf(result, ended[i].step)});
        }
        const std::string line = host.portFailureLine(ended[i].outcome.fault, request.ports[i]);
        if (!line.empty()) console.warn(line);
        if (ended[i].outcome.outcome == session::Outcome::OtherModel) {
            console.warn(request.ports[i] + ": " + reportedModelText(ended[i].outcome));
        }
    }
    stopRun = nullptr;
    if (interrupted) {
        host.err() << kInterrupted << std::flush;
        return kExitFailed;
    }
    return run.exitStatus();
}

// The production station: sessions board after board on every port until Ctrl-C (the first
// lets boards in progress finish, the second stops at once).
// How long a station that stops waits for its last records to reach the database, in ms.
constexpr int kDatabaseGrace = 5000;

int runStation(const Request& request, Host& host, RunOutput& output) {
    Console console(output.text(), output.err(), output.textIsTerminal(), false, request.retries);
    JsonLines* json = output.json();
    std::function<void(int)> stopStation;
    int early = 0;  // Ctrl-C before the station started
    host.onInterrupt([&](int count) {
        if (stopStation) {
            stopStation(count);
        } else {
            early = count;
        }
    });
    Prepared prepared;
    if (!prepare(request, host, console, prepared)) return kExitBadInput;
    const image::FirmwareFile& firmware = *prepared.firmware;
    if (const std::string why = serialFitRefusal(request, firmware); !why.empty()) {
        console.warn(why);
        return kExitBadInput;
    }
    StationLog log;
    if (const std::string why = log.open(request.log); !why.empty()) {
        console.warn("--log " + why + "; no board was started");
        return kExitBadInput;
    }
    std::vector<std::string> devices;
    for (const PortArgument& port : prepared.ports) devices.push_back(host.deviceOf(port));
    const session::Request session = writeRequest(prepared.settings, firmware, request.verify);
    BoardRecord blank;
    blank.firmware = app::shownName(app::utf8FromPath(app::pathFromUtf8(request.file).filename()));
    blank.sha256 = firmware.sha256;
    blank.model = modelText(prepared.settings.model);
    blank.version = std::to_string(session.major) + "." + std::to_string(session.minor);
    blank.station = request.station;
    // Every line the station says: on its own line where nothing is drawn in place, and as a
    // JSON event.
    const bool terminal = output.textIsTerminal();
    std::function<void(const std::string&)> say;
    // The factory's database: each record goes there once it is in the CSV, in the background;
    // the records the CSV already holds go first.
    std::unique_ptr<FactoryDatabase> database;
    if (request.db) {
        std::string why;
        database = host.openDatabase(*request.db, request.station, request.log, why);
        if (!database) {
            console.warn("--db: " + why + "; no board was started");
            return kExitBadInput;
        }
        database->onEvent = [&say](const std::string& line) { say(line); };
    }
    console.info("Station: " + firmwareText(request.file, firmware.version) + " to model " +
                 blank.model + " on " + counted(prepared.ports.size(), "port") + "; records to " +
                 app::shownName(request.log) +
                 ". Ctrl-C stops after the boards in progress, twice at once.");

    const auto elapsed = since(Clock::now());
    Station station(
        session, firmware.image, supplyOf(host, prepared.ports), request.ports, devices,
        request.retries, blank, elapsed, [] { return std::chrono::system_clock::now(); },
        [&log, &database](const BoardRecord& record) {
            std::string why = log.append(record);
            if (why.empty() && database) database->push(record);
            return why;
        });
    BoardSteps& steps = station.steps;
    std::unique_ptr<factory::SerialFile> serials;
    if (request.serial) {
        const SerialNumbers& serial = *request.serial;
        if (serial.source == SerialNumbers::Source::Hook) {
            steps.serialFromHook = true;
        } else if (serial.source == SerialNumbers::Source::Database) {
            steps.reserveSerial = [&database](const BoardSteps::SerialReply& done) {
                database->reserveSerial(done);
            };
        } else {
            serials = serialSource(serial);
            steps.reserveSerial = [&serials](const BoardSteps::SerialReply& done) {
                const factory::Reservation reserved = serials->reserve();
                done(reserved.serial, reserved.why);
            };
        }
        steps.placeSerial = [&serial, &firmware](const std::string& number, ImageBytes& image) {
            return placeSerialNumber(serial, number, firmware.start, firmware.end, image);
        };
    }
    steps.beforeBoard = request.beforeBoard;
    steps.afterBoard = request.afterBoard;
    steps.hookLimit = request.hookLimit;
    steps.run = [&host](const std::string& command, const Environment& environment,
                        std::function<void(const CommandResult&)> done) {
        return host.runCommand(command, environment, std::move(done));
    };
    StationDisplay display(terminal);
    std::size_t recordsShown = 0;
    say = [&](const std::string& line) {
        if (!terminal) output.text() << line << std::endl;
        if (json) stationEventAsJson(station.records(), recordsShown, request.ports, line, *json);
    };
    station.onEvent = say;
    station.describeFault = [&host](const PortFault& fault, const std::string& port) {
        return host.portFailureLine(fault, port);
    };
    station.resolveDevice = [&host](const std::string& device) {
        return host.resolvedDevice(device);
    };
    stopStation = [&](int count) {
        console.info(count == 1 ? "Stopping after the boards in progress." : "Stopping now.");
        count == 1 ? station.stop() : station.stopNow();
    };
    host.runUntil([] { return true; });  // a Ctrl-C that came before the station
    station.start();
    if (early > 0) stopStation(early);
    if (!station.ended()) {
        const Refresh refresh(host, 100, [&] {
            output.text() << display.update(station.status(), elapsed()) << std::flush;
        });
        host.runUntil([&station] { return station.ended(); });
    }
    // On a terminal the totals are the last line drawn.
    output.text() << display.update(station.status(), elapsed())
                  << (terminal ? "" : StationDisplay::totals(station.status(), elapsed()) + "\n")
                  << std::flush;
    if (!station.failure().empty()) console.warn("The log failed: " + station.failure());
    if (database && database->waiting() > 0) {
        // A few seconds for the last records to reach the database; those that do not wait
        // in the CSV, and the next station started on it, or records push, sends them.
        const auto timer = host.makeTimer();
        bool late = false;
        timer->onExpired = [&late] { late = true; };
        timer->start(kDatabaseGrace);
        host.runUntil([&] { return late || database->waiting() == 0; });
        if (const std::size_t waiting = database->waiting(); waiting > 0) {
            console.warn(counted(waiting, "record") + " not yet in the database wait in " +
                         app::shownName(request.log) + ": the next station on this log, or " +
                         "comflash-cli records push, sends them.");
        }
    }
    return station.exitStatus();
}

// Sends a station's log to the factory's database: every record not there yet is stored.
int pushRecords(const Request& request, Host& host) {
    const ReadLog read = readStationLogFile(request.file);
    if (!read.failure.empty()) {
        host.err() << read.failure << '\n' << std::flush;
        return kExitBadInput;
    }
    for (const std::string& warning : read.warnings) host.err() << warning << '\n';
    host.err() << std::flush;
    const StoredRecords stored = host.storeRecords(*request.db, read.records);
    if (stored.end != StoredRecords::End::Stored) {
        host.err() << "--db: " << stored.why << "; no record was lost: they stay in "
                   << app::shownName(request.file) << '\n'
                   << std::flush;
        return stored.end == StoredRecords::End::Refused ? kExitBadInput : kExitFailed;
    }
    host.out() << counted(read.records.size(), "record") << " read, " << stored.stored
               << " stored, " << read.records.size() - stored.stored << " already there\n"
               << std::flush;
    return kExitSucceeded;
}

}  // namespace

int run(const std::vector<std::string>& arguments, std::string_view version, Host& host) {
    const ParsedArguments parsed = parseArguments(arguments, version);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        host.err() << "comflash-cli: " << *problem << "\nTry comflash-cli --help.\n" << std::flush;
        // A script that asked for JSON hears of it there too.
        if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end()) {
            RunEnd refused;
            refused.message = *problem;
            refused.exit = kExitBadInput;
            JsonLines(host.out()).result(refused);
        }
        return kExitBadInput;
    }
    if (const auto* shown = std::get_if<ShownText>(&parsed)) {
        host.out() << shown->text << std::flush;
        return kExitSucceeded;
    }
    Request request = std::get<Request>(parsed);
    if (request.station.empty()) request.station = host.hostName();
    // A port named by its adapter's serial number becomes the port that has it, before
    // anything else is looked at.
    if (const std::string why =
            resolveIdentities(request.ports, [&host] { return host.presentPorts(); });
        !why.empty()) {
        host.err() << why << '\n' << std::flush;
        return kExitBadInput;
    }
    if (!request.ports.empty()) request.port = request.ports.front();
    RunOutput output(host, request.json);
    const int status = [&] {
        switch (request.command) {
            case Command::RecordsPush:
                return pushRecords(request, host);
            case Command::Ports:
                return listPorts(host, output);
            case Command::Station:
                return runStation(request, host, output);
            case Command::Write:
                if (request.ports.size() > 1) return runLine(request, host, output);
                break;
            case Command::Read:
                break;
        }
        return runOnePort(request, host, output);
    }();
    if (status == kExitBadInput && output.json()) refusedAsJson(request, output);
    return status;
}

}  // namespace comflash::cli
