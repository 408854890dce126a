#include "cli/run_setup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/config_file.h"
#include "app/startup_config.h"
#include "app/system_text.h"
#include "cli/firmware_warnings.h"
#include "image/firmware_file.h"
#include "session/session.h"
#include "settings/com_port_names.h"

namespace comflash::cli {

namespace {

constexpr std::string_view kDefaultTitle = "Update";

}  // namespace

std::string startUp(const Request& request, const std::string& programFolder, AppState& state) {
    state.AppTitle = std::string(kDefaultTitle);
    if (request.config || !request.model) {
        const std::string path =
            request.config.value_or(programFolder + "/" + std::string(app::kConfigFileName));
        const app::ConfigRead read = app::readStartupConfig(path);
        if (!read.config) return read.failure;
        state.ModelId = read.config->modelId;
        state.AppTitle = read.config->appTitle;
    }
    if (request.model) {
        const app::ModelRead model = app::parseModelId(*request.model);
        if (!model.id) return "--model: " + model.failure;
        state.ModelId = *model.id;
    }
    state.UseEnglish = true;
    return {};
}

std::string modelText(const AppState& state) {
    return std::to_string(state.ModelId[0]) + ":" + std::to_string(state.ModelId[1]) + ":" +
           std::to_string(state.ModelId[2]);
}

std::string deviceOf(const PortArgument& port, const std::string& portsFolder) {
    return port.device.empty() ? settings::comPortDevice(port.number, portsFolder) : port.device;
}

std::variant<std::vector<PortArgument>, std::string> readPorts(
    const std::vector<std::string>& names, const std::string& portsFolder) {
    std::vector<PortArgument> ports;
    for (const std::string& name : names) {
        PortArgument port = parsePortArgument(name);
        if (!port.failure.empty()) return "--port " + name + ": " + port.failure;
        for (std::size_t other = 0; other < ports.size(); ++other) {
            if (settings::sameDevice(deviceOf(port, portsFolder),
                                     deviceOf(ports[other], portsFolder))) {
                return "--port: " + names[other] + " and " + name +
                       " are the same device; each device takes one session";
            }
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

std::string settleRun(const Request& request, const std::string& portsFolder,
                      const std::string& programFolder, std::vector<PortArgument>& ports,
                      AppState& state) {
    auto read = readPorts(request.ports, portsFolder);
    if (auto* why = std::get_if<std::string>(&read)) return std::move(*why);
    ports = std::move(std::get<std::vector<PortArgument>>(read));
    if (std::string why = startUp(request, programFolder, state); !why.empty()) return why;
    return verifyRefusal(request);
}

std::string settleOnePort(const Request& request, const std::string& programFolder,
                          std::int16_t portNumber, AppState& state) {
    if (std::string why = startUp(request, programFolder, state); !why.empty()) return why;
    state.ComPortNumber = portNumber;
    return request.command == Command::Read ? saveTargetProblem(request.file)
                                            : verifyRefusal(request);
}

std::string fileReason(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(app::pathFromUtf8(path), error)) {
        return path + ": Is a directory";
    }
    errno = 0;
    if (!std::ifstream(app::pathFromUtf8(path), std::ios::binary).is_open()) {
        return path + ": " + std::strerror(errno != 0 ? errno : ENOENT);
    }
    return path + ": not an Intel HEX file the loader accepts (" + faultyFileReason(path) +
           "); nothing was sent to the device";
}

std::string saveTargetProblem(const std::string& path) {
    std::error_code error;
    const std::filesystem::path target = app::pathFromUtf8(path);
    if (std::filesystem::is_directory(target, error) ||
        !std::filesystem::is_directory(std::filesystem::absolute(target, error).parent_path(),
                                       error)) {
        return path + ": cannot be saved there (a folder, or no such folder)";
    }
    return {};
}

std::string verifyRefusal(const Request& request) {
    if (!request.verify) return {};
    const auto read = image::ReadFirmwareFile(request.file);
    const auto* firmware = std::get_if<image::FirmwareFile>(&read);
    if (firmware == nullptr || firmware->start >= session::kReadWindowBase) return {};
    char text[200];
    std::snprintf(text, sizeof text,
                  "%s: --verify reads back only 0x8000 to 0xFFFF, and the file starts at "
                  "0x%04X; nothing was sent",
                  request.file.c_str(), static_cast<unsigned>(firmware->start));
    return text;
}

}  // namespace comflash::cli
