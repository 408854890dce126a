#include "host/usb_identity.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace comflash::host {

namespace fs = std::filesystem;

namespace {

// Levels from a tty's device folder up to its USB device: a ttyUSB's port lies two below it.
constexpr int kLevelsToUsbDevice = 3;

// The first line of a sysfs attribute, without its line end; empty when there is none.
std::string attribute(const fs::path& folder, const char* name) {
    std::ifstream in(folder / name);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

}  // namespace

UsbIdentities::UsbIdentities(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(devRoot) / "serial/by-id", error)) {
        const fs::path target = fs::canonical(entry.path(), error);
        if (!error) byId_.emplace(target.string(), entry.path().string());
    }
}

settings::PortIdentity UsbIdentities::of(const std::string& device) const {
    settings::PortIdentity identity;
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) return identity;
    if (const auto link = byId_.find(target.string()); link != byId_.end()) {
        identity.stableName = link->second;
    }
    fs::path folder =
        fs::canonical(fs::path(sysRoot_) / "class/tty" / target.filename() / "device", error);
    for (int level = 0; !error && level < kLevelsToUsbDevice; ++level) {
        if (fs::exists(folder / "idVendor", error)) {
            identity.vendorId = attribute(folder, "idVendor");
            identity.productId = attribute(folder, "idProduct");
            identity.manufacturer = attribute(folder, "manufacturer");
            identity.product = attribute(folder, "product");
            identity.serial = attribute(folder, "serial");
            break;
        }
        folder = folder.parent_path();
    }
    return identity;
}

bool UsbIdentities::placeholder(const std::string& device) const {
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    return !error && attribute(fs::path(sysRoot_) / "class/tty" / target.filename(), "type") == "0";
}

std::string portToolTip(const std::string& device, const UsbIdentities& identities) {
    const std::string identity = settings::identityText(identities.of(device));
    return identity.empty() || device.empty() ? device : device + "  " + identity;
}

}  // namespace comflash::host
