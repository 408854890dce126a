#include "cli/json_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <streambuf>

#include "cli/exit_status.h"
#include "cli/port_argument.h"
#include "cli/production_run.h"
#include "cli/run_setup.h"
#include "cli/station.h"

namespace comflash::cli {

namespace {

using Json = nlohmann::ordered_json;

// One line of JSON; bytes that are no UTF-8 (a file named in Latin-1) become U+FFFD, so that
// every line stays JSON.
std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json object(const char* type) {
    return Json{{"schema", kJsonSchema}, {"type", type}};
}

std::string faultKind(PortFault::Kind kind) {
    switch (kind) {
        case PortFault::Kind::NoDevice:
            return "no-device";
        case PortFault::Kind::NotFound:
            return "not-found";
        case PortFault::Kind::Denied:
            return "denied";
        case PortFault::Kind::Other:
            return "other";
        case PortFault::Kind::None:
            break;
    }
    return "none";
}

// The fields only some ends have are null on the others.
void addResultFields(Json& json, const session::Result& r) {
    using session::Outcome;
    json["outcome"] = resultCode(r.outcome);
    json["address"] = r.outcome == Outcome::Failed ? Json(r.address) : Json();
    json["mismatch"] = r.outcome == Outcome::VerifyFailed ? Json{{"address", r.mismatch.address},
                                                                 {"count", r.mismatch.count},
                                                                 {"expected", r.mismatch.expected},
                                                                 {"actual", r.mismatch.actual}}
                                                          : Json();
    json["fault"] = r.fault.kind != PortFault::Kind::None ? Json{{"kind", faultKind(r.fault.kind)},
                                                                 {"device", r.fault.device},
                                                                 {"text", r.fault.reason}}
                                                          : Json();
    json["reported_model"] =
        r.outcome == Outcome::OtherModel ? Json(modelText(r.reportedModel)) : Json();
    json["verified"] = r.verified;
}

}  // namespace

std::string stepName(session::Progress::Step step) {
    using Step = session::Progress::Step;
    switch (step) {
        case Step::Erase:
            return "erase";
        case Step::Write:
            return "write";
        case Step::Verify:
            return "verify";
        case Step::Read:
            return "read";
        case Step::Go:
            return "go";
        case Step::Handshake:
            break;
    }
    return "handshake";
}

std::int64_t bytesDone(const session::Request& request, const session::Result& result,
                       session::Progress::Step lastStep) {
    const std::int64_t size = request.end - request.start + 1;
    using session::Outcome;
    if (result.outcome == Outcome::Succeeded || result.outcome == Outcome::VerifyFailed) {
        return size;
    }
    if (lastStep == session::Progress::Step::Handshake) return 0;
    return std::clamp<std::int64_t>(result.address - request.start, 0, size);
}

void JsonLines::step(const std::string& port, session::Progress::Step step) {
    Json json = object("step");
    json["port"] = port;
    json["step"] = stepName(step);
    write(dumped(json));
}

void JsonLines::progress(const std::string& port, const session::Progress& progress) {
    const auto figures = std::pair(progress.done, progress.total);
    if (const auto last = last_.find(port); last != last_.end() && last->second == figures) return;
    last_.insert_or_assign(port, figures);
    Json json = object("progress");
    json["port"] = port;
    json["step"] = stepName(progress.step);
    json["done"] = progress.done;
    json["total"] = progress.total;
    write(dumped(json));
}

void JsonLines::result(const RunEnd& end) {
    Json json = object("result");
    json["command"] = end.command;
    json["port"] = end.port;
    json["file"] = end.file;
    if (end.result) {
        addResultFields(json, *end.result);
    } else {
        addResultFields(json, session::Result{});
        json["outcome"] = "bad-input";
    }
    json["message"] = end.message;
    json["bytes"] = end.bytes;
    json["seconds"] = end.seconds;
    json["exit"] = end.exit;
    write(dumped(json));
}

void JsonLines::board(const BoardRecord& r) {
    Json json = object("board");
    json["time_utc"] = r.time;
    json["port"] = r.port;
    json["device"] = r.device;
    json["firmware"] = r.firmware;
    json["sha256"] = r.sha256;
    json["model"] = r.model;
    json["version"] = r.version;
    json["result"] = r.result;
    json["result_code"] = r.code;
    json["verified"] = r.verified;
    json["seconds"] = r.seconds;
    json["bytes_written"] = r.bytes;
    json["id"] = r.id;
    json["station"] = r.station;
    json["serial"] = r.serial;
    json["serial_state"] = r.serialState;
    json["note"] = r.note;
    write(dumped(json));
}

void JsonLines::event(const std::optional<std::string>& port, const std::string& text) {
    Json json = object("event");
    json["port"] = port ? Json(*port) : Json();
    json["text"] = text;
    write(dumped(json));
}

// One small function, so that a port's further fields are added in one place.
void JsonLines::port(const ListedPort& port) {
    Json json = object("port");
    json["name"] = port.name;
    json["path"] = port.path;
    json["device"] = port.device;
    json["opens"] = port.opens;
    json["why"] = port.opens ? Json() : Json(port.why);
    const auto known = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
    const settings::PortIdentity& id = port.identity;
    json["vendor_id"] = known(id.vendorId);
    json["product_id"] = known(id.productId);
    json["manufacturer"] = known(id.manufacturer);
    json["product"] = known(id.product);
    json["serial"] = known(id.serial);
    json["by_id"] = known(id.stableName);
    json["friendly_name"] = known(id.friendlyName);
    write(dumped(json));
}

void JsonLines::write(const std::string& line) {
    out_ << line << '\n' << std::flush;
}

// Passes every character on to standard error, and keeps a copy.
class RunOutput::Tap : public std::streambuf {
  public:
    explicit Tap(std::streambuf* to) : to_(to), stream(this) {}

  protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        kept += static_cast<char>(c);
        return to_->sputc(static_cast<char>(c));
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        kept.append(text, static_cast<std::size_t>(count));
        return to_->sputn(text, count);
    }
    int sync() override { return to_->pubsync(); }

  private:
    std::streambuf* to_;

  public:
    std::ostream stream;
    std::string kept;
};

RunOutput::RunOutput(Host& host, bool json)
    : text_(json ? host.err() : host.out()),
      textIsTerminal_(!json && host.outIsTerminal()),
      tap_(std::make_unique<Tap>(host.err().rdbuf())) {
    if (json) json_.emplace(host.out());
}

RunOutput::~RunOutput() = default;

std::ostream& RunOutput::err() {
    return tap_->stream;
}

std::string RunOutput::said() const {
    std::string text = tap_->kept;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void listPortsAsJson(Host& host, const std::vector<PortDescription>& ports, JsonLines& json) {
    for (const PortDescription& description : ports) {
        ListedPort port;
        port.name = "COM" + std::to_string(description.number);
        port.path = description.device;
        port.device = description.target.empty() ? description.device : description.target;
        port.identity = description.identity;
        json.port(port);
    }
    for (const std::string& line : host.refusedPorts()) {
        ListedPort port;
        port.name = line.substr(0, line.find(' '));
        port.path = host.deviceOf(parsePortArgument(port.name, host.namesDevicesByPath()));
        port.device = port.path.empty() ? port.path : host.resolvedDevice(port.path);
        port.opens = false;
        const auto why = line.find_first_not_of(' ', port.name.size());
        port.why = why == std::string::npos ? std::string() : line.substr(why);
        json.port(port);
    }
}

void stationEventAsJson(const std::vector<BoardRecord>& records, std::size_t& shown,
                        const std::vector<std::string>& ports, const std::string& line,
                        JsonLines& json) {
    for (; shown < records.size(); ++shown) json.board(records[shown]);
    std::optional<std::string> port;
    for (const std::string& name : ports) {
        if (line.starts_with(name + ": ") && (!port || name.size() > port->size())) port = name;
    }
    json.event(port, port ? line.substr(port->size() + 2) : line);
}

void refusedAsJson(const Request& request, RunOutput& output) {
    const char* commands[] = {"write", "read", "station", "ports", "records push"};
    RunEnd end;
    end.command = commands[static_cast<int>(request.command)];
    end.port = request.port;
    end.file = request.file;
    end.message = output.said();
    end.exit = kExitBadInput;
    output.json()->result(end);
}

}  // namespace comflash::cli
