#include "host/port_failure.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace comflash::host {

namespace {

// The group that owns the device, when the user may not read and write it.
std::optional<std::string> deniedGroup(const std::string& device) {
    if (device.empty() || ::access(device.c_str(), R_OK | W_OK) == 0 || errno != EACCES) {
        return std::nullopt;
    }
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0) return std::string();
    const group* owner = ::getgrgid(status.st_gid);
    return owner != nullptr ? std::string(owner->gr_name) : std::string();
}

}  // namespace

std::string describePortFailure(const PortFault& failure, const std::string& port,
                                const std::string& portsFolder) {
    if (failure.kind != PortFault::Kind::Denied) {
        return portFailureLine(failure, port, portsFolder, std::nullopt);
    }
    return portFailureLine(failure, port, portsFolder, deniedGroup(failure.device));
}

std::string portFailureLine(const PortFault& failure, const std::string& port,
                            const std::string& portsFolder,
                            const std::optional<std::string>& deniedGroup) {
    if (failure.kind == PortFault::Kind::None) return {};
    if (failure.device.empty()) {
        if (portsFolder.empty()) return port + " stands for no device.";
        return port + " stands for no device: make " + portsFolder + "/" + port + " a link to one.";
    }
    const std::string& device = failure.device;
    switch (failure.kind) {
        case PortFault::Kind::NotFound:
            return device + ": " + failure.reason +
                   " (is the adapter plugged in? comflash-cli ports lists the ports that open)";
        case PortFault::Kind::Denied:
            if (!deniedGroup) {
                return device + ": busy, another program has the port open (" + failure.reason +
                       ")";
            }
            if (deniedGroup->empty()) return device + ": Permission denied";
            return device + ": Permission denied; the port belongs to the group " + *deniedGroup +
                   ": join it with sudo usermod -aG " + *deniedGroup +
                   " \"$USER\" and log in again";
        default:
            return device + ": " + failure.reason;
    }
}

}  // namespace comflash::host
