#include "host/port_failure.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "host/device_holders.h"

namespace comflash::host {

namespace {

constexpr unsigned kReadWrite = 06;  // the read and write bits of one class
constexpr unsigned kOwner = 6;       // shifts of the owner's and the group's bits
constexpr unsigned kGroup = 3;

bool may(unsigned mode, unsigned shift) {
    return ((mode >> shift) & kReadWrite) == kReadWrite;
}

}  // namespace

std::optional<DeviceAccess> deniedAccess(const std::string& device) {
    if (device.empty() || ::access(device.c_str(), R_OK | W_OK) == 0 || errno != EACCES) {
        return std::nullopt;
    }
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0) return DeviceAccess{};
    DeviceAccess access;
    const passwd* owner = ::getpwuid(status.st_uid);
    const group* group = ::getgrgid(status.st_gid);
    access.owner = owner != nullptr ? owner->pw_name : std::to_string(status.st_uid);
    access.group = group != nullptr ? group->gr_name : std::to_string(status.st_gid);
    access.groupIsRoot = status.st_gid == 0;
    access.mode = status.st_mode & 0777;
    return access;
}

// A group with read and write access is the remedy, unless it is root's: joining root would
// give the user the whole system. Otherwise only a rule for the device, or its administrator,
// can let the user open it.
std::string deniedText(const DeviceAccess& access) {
    std::string who;
    if (access.owner.empty()) return "Permission denied";
    if (may(access.mode, kOwner) || access.owner == "root") who = "user " + access.owner;
    const bool group = may(access.mode, kGroup);
    if (group) who += (who.empty() ? "" : " and ") + std::string("the group ") + access.group;
    if (who.empty()) who = "root";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", access.mode);
    std::string text = "Permission denied; only " + who + " may open it (mode " + mode +
                       ", owner " + access.owner + ", group " + access.group + "): ";
    if (group && !access.groupIsRoot) {
        return text + "join the group with sudo usermod -aG " + access.group +
               " \"$USER\" and log in again";
    }
    return text + "an administrator, or a udev rule that gives the device a group of users with " +
           "read and write access (GROUP=\"dialout\", MODE=\"0660\"), can let you" +
           (group ? "; joining the group root is no remedy" : "");
}

std::string describePortFailure(const PortFault& failure, const std::string& port,
                                const std::string& portsFolder, const std::string& procRoot) {
    if (failure.kind != PortFault::Kind::Denied) {
        return portFailureLine(failure, port, portsFolder, std::nullopt);
    }
    const std::optional<DeviceAccess> denied = deniedAccess(failure.device);
    // A link is named with the device it leads to, whose permissions are the ones that count.
    PortFault named = failure;
    std::error_code error;
    if (denied && std::filesystem::is_symlink(failure.device, error)) {
        const auto target = std::filesystem::canonical(failure.device, error);
        if (!error) named.device += " -> " + target.string();
    }
    const std::string holders = denied ? std::string() : deviceHolders(failure.device, procRoot);
    return portFailureLine(named, port, portsFolder, denied, holders);
}

std::string portFailureLine(const PortFault& failure, const std::string& port,
                            const std::string& portsFolder,
                            const std::optional<DeviceAccess>& denied, const std::string& holders) {
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
            if (!denied) {
                return device + ": busy, another program has the port open (" + failure.reason +
                       ")" + (holders.empty() ? "" : "; " + holders);
            }
            return device + ": " + deniedText(*denied);
        default:
            return device + ": " + failure.reason;
    }
}

}  // namespace comflash::host
