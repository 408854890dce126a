#include "settings/port_identity.h"

#include <cctype>
#include <vector>

namespace comflash::settings {

namespace {

constexpr std::size_t kIdDigits = 4;

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool startsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (upper(text[i]) != prefix[i]) return false;
    }
    return true;
}

// The four hex digits after `key` ("VID_") in `part`, in lower case; empty when absent.
std::string hexAfter(std::string_view part, std::string_view key) {
    for (std::size_t at = 0; at + key.size() + kIdDigits <= part.size(); ++at) {
        if (!startsWith(part.substr(at), key)) continue;
        std::string digits;
        for (const char c : part.substr(at + key.size(), kIdDigits)) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
            digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return digits;
    }
    return {};
}

void add(std::string& text, const std::string& part, const char* gap) {
    if (part.empty()) return;
    if (!text.empty()) text += gap;
    text += part;
}

}  // namespace

std::string identityText(const PortIdentity& identity) {
    std::string adapter;
    if (!identity.vendorId.empty() || !identity.productId.empty()) {
        adapter = (identity.vendorId.empty() ? "????" : identity.vendorId) + ":" +
                  (identity.productId.empty() ? "????" : identity.productId);
    }
    add(adapter, identity.manufacturer, " ");
    add(adapter, identity.product, " ");
    std::string text;
    // The system's own name comes first on Windows: it is what Device Manager shows.
    add(text, identity.friendlyName, "  ");
    add(text, adapter, "  ");
    add(text, identity.serial.empty() ? std::string() : "serial " + identity.serial, "  ");
    add(text, identity.stableName, "  ");
    return text;
}

PortIdentity parseInstanceId(std::string_view instanceId) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = instanceId.find('\\', start);
        parts.push_back(instanceId.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    PortIdentity identity;
    const bool usb = parts[0].size() == 3 && startsWith(parts[0], "USB");
    if (parts.size() < 2 || !(usb || startsWith(parts[0], "FTDIBUS"))) return identity;
    identity.vendorId = hexAfter(parts[1], "VID_");
    identity.productId = hexAfter(parts[1], "PID_");
    if (identity.vendorId.empty() && identity.productId.empty()) return {};
    // Only a USB device's own id ends in its serial number; FTDI's bus adds a channel letter
    // to it, which cannot be told from the number itself.
    if (usb && parts.size() == 3 && !parts[2].empty() &&
        parts[2].find('&') == std::string_view::npos) {
        identity.serial = std::string(parts[2]);
    }
    return identity;
}

}  // namespace comflash::settings
