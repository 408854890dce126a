#include "cli/run_setup.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/config_file.h"
#include "app/startup_config.h"
#include "app/system_text.h"
#include "session/session.h"
#include "settings/com_port_names.h"

namespace comflash::cli {

namespace {

constexpr std::string_view kDefaultTitle = "Update";

}  // namespace

std::variant<Settings, std::string> startUp(const Request& request,
                                            const std::string& programFolder) {
    Settings settings;
    settings.title = std::string(kDefaultTitle);
    if (request.config || !request.model) {
        const std::string path =
            request.config.value_or(programFolder + "/" + std::string(app::kConfigFileName));
        const app::ConfigRead read = app::readStartupConfig(path);
        if (!read.config) return read.failure;
        settings.model = read.config->modelId;
        settings.title = read.config->appTitle;
    }
    if (request.model) {
        const app::ModelRead model = app::parseModelId(*request.model);
        if (!model.id) return "--model: " + model.failure;
        settings.model = *model.id;
    }
    return settings;
}

std::string modelText(const std::array<std::uint8_t, 3>& model) {
    return std::to_string(model[0]) + ":" + std::to_string(model[1]) + ":" +
           std::to_string(model[2]);
}

std::variant<std::vector<PortArgument>, std::string> readPorts(
    const std::vector<std::string>& names,
    const std::function<std::string(const PortArgument&)>& deviceOf, bool paths) {
    std::vector<PortArgument> ports;
    for (const std::string& name : names) {
        PortArgument port = parsePortArgument(name, paths);
        if (!port.failure.empty()) return "--port " + name + ": " + port.failure;
        for (std::size_t other = 0; other < ports.size(); ++other) {
            if (settings::sameDevice(deviceOf(port), deviceOf(ports[other]))) {
                return "--port: " + names[other] + " and " + name +
                       " are the same device; each device takes one session";
            }
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

std::string saveTargetProblem(const std::string& path) {
    std::error_code error;
    const std::filesystem::path target = app::pathFromUtf8(path);
    if (std::filesystem::is_directory(target, error) ||
        !std::filesystem::is_directory(std::filesystem::absolute(target, error).parent_path(),
                                       error)) {
        return app::shownName(path) + ": cannot be saved there (a folder, or no such folder)";
    }
    return {};
}

std::string verifyRefusal(const Request& request, const image::FirmwareFile& firmware) {
    if (!request.verify || firmware.start >= session::kReadWindowBase) return {};
    char text[200];
    std::snprintf(text, sizeof text,
                  "%s: --verify reads back only 0x8000 to 0xFFFF, and the file starts at "
                  "0x%04X; nothing was sent",
                  app::shownName(request.file).c_str(), static_cast<unsigned>(firmware.start));
    return text;
}

std::string serialFitRefusal(const Request& request, const image::FirmwareFile& firmware) {
    if (!request.serial) return {};
    const std::string why = factory::serialFitRefusal(
        request.serial->at, request.serial->format.size, firmware.start, firmware.end);
    if (why.empty()) return {};
    return "--serial-at " + why + "; no serial number was taken, nothing was sent";
}

std::unique_ptr<factory::SerialFile> serialSource(const SerialNumbers& serial) {
    if (serial.source == SerialNumbers::Source::List) {
        return std::make_unique<factory::ListFile>(serial.from);
    }
    return std::make_unique<factory::CounterFile>(serial.from);
}

BoardSerial placeBoardSerial(const SerialNumbers& request, factory::SerialFile& source,
                             std::int32_t start, std::int32_t end, ImageBytes& image) {
    const factory::Reservation reserved = source.reserve();
    if (!reserved.serial) return {{}, "no serial number: " + reserved.why + "; nothing was sent"};
    const std::string& serial = *reserved.serial;
    if (const std::string why = placeSerialNumber(request, serial, start, end, image);
        !why.empty()) {
        return {serial, why + "; serial number " + serial + " is void, nothing was sent"};
    }
    return {serial, {}};
}

std::string placeSerialNumber(const SerialNumbers& request, const std::string& serial,
                              std::int32_t start, std::int32_t end, ImageBytes& image) {
    const auto bytes = factory::encodeSerial(request.format, serial);
    if (const auto* why = std::get_if<std::string>(&bytes)) return *why;
    const std::string why = factory::placeSerial(image, start, end, request.at,
                                                 std::get<std::vector<std::uint8_t>>(bytes));
    return why.empty() ? why : "--serial-at " + why;
}

}  // namespace comflash::cli
