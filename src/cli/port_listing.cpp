#include "cli/port_listing.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

namespace comflash::cli {

namespace {

constexpr std::string_view kSerialPrefix = "serial:";
constexpr std::size_t kLettersPerMistake = 3;  // at most one mistake in three letters

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return lower(a) == lower(b); });
}

std::string comName(const PortDescription& port) {
    return "COM" + std::to_string(port.number);
}

// The last part of a path.
std::string_view baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// One device reached by two COM names (a link in the ports folder and the fixed table) is one
// port.
std::string deviceKey(const PortDescription& port) {
    if (!port.target.empty()) return port.target;
    return port.device.empty() ? comName(port) : port.device;
}

// Optimal string alignment distance, letter case ignored.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t changed = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + changed});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
                lower(a[i - 2]) == lower(b[j - 1])) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// "A or B?", "A, B or C?"; empty for none.
std::string question(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return text.empty() ? text : text + "?";
}

}  // namespace

std::string portLine(const PortDescription& port) {
    std::string line = comName(port);
    if (!port.device.empty()) {
        line += "  " + port.device;
        if (!port.target.empty() && port.target != port.device) line += " -> " + port.target;
    }
    if (const std::string identity = settings::identityText(port.identity); !identity.empty()) {
        line += "  " + identity;
    }
    return line;
}

std::string portShortName(const PortDescription& port) {
    const std::string& device = port.target.empty() ? port.device : port.target;
    return device.empty() ? comName(port) : comName(port) + " (" + device + ")";
}

bool namesIdentity(std::string_view text) {
    if (startsWith(text, kSerialPrefix)) return true;
    return !text.empty() && text.find('/') == std::string_view::npos && !startsWith(text, "COM");
}

IdentityLookup lookUpIdentity(std::string_view text, const std::vector<PortDescription>& present) {
    const bool serialOnly = startsWith(text, kSerialPrefix);
    const std::string_view wanted = serialOnly ? text.substr(kSerialPrefix.size()) : text;
    const std::string what = serialOnly ? "that serial number" : "that serial number or by-id name";
    std::vector<const PortDescription*> found;
    std::set<std::string> keys;
    std::vector<std::string> known;
    std::vector<std::string> devices;  // those whose last part is the text: "ttyUSB0"
    for (const PortDescription& port : present) {
        const std::string& device = port.target.empty() ? port.device : port.target;
        if (!device.empty() && baseName(device) == wanted && !serialOnly) devices.push_back(device);
        const settings::PortIdentity& identity = port.identity;
        const std::string_view byId = baseName(identity.stableName);
        if (!identity.serial.empty()) known.push_back(identity.serial);
        if (!serialOnly && !byId.empty()) known.emplace_back(byId);
        const bool matches = (!wanted.empty() && identity.serial == wanted) ||
                             (!serialOnly && !byId.empty() && byId == wanted);
        if (matches && keys.insert(deviceKey(port)).second) found.push_back(&port);
    }
    const std::string named = "--port " + std::string(text) + ": ";
    if (found.size() == 1) {
        const PortDescription& port = *found.front();
        return {port.identity.stableName.empty() ? comName(port) : port.identity.stableName, {}};
    }
    if (found.size() > 1) {
        std::string failure = named + std::to_string(found.size()) + " ports have " + what + ": ";
        for (std::size_t i = 0; i < found.size(); ++i) {
            failure += (i == 0                  ? ""
                        : i + 1 == found.size() ? " and "
                                                : ", ") +
                       portShortName(*found[i]);
        }
        return {{}, failure + "; name one by its COM name or its device"};
    }
    if (present.empty()) return {{}, named + "no port has " + what + ", and no port is there"};
    std::string failure = named + "no port has " + what + "; the ports there are:";
    for (const PortDescription& port : present) failure += "\n  " + portLine(port);
    if (const std::string guess = question(devices.empty() ? nearestNames(wanted, known) : devices);
        !guess.empty()) {
        failure += "\n" + guess;
    }
    return {{}, failure};
}

std::string resolveIdentities(std::vector<std::string>& names,
                              const std::function<std::vector<PortDescription>()>& present) {
    std::optional<std::vector<PortDescription>> ports;
    for (std::string& name : names) {
        if (!namesIdentity(name)) continue;
        if (!ports) ports = present();
        IdentityLookup found = lookUpIdentity(name, *ports);
        if (!found.failure.empty()) return found.failure;
        name = std::move(found.port);
    }
    return {};
}

std::vector<std::string> nearestNames(std::string_view named,
                                      const std::vector<std::string>& candidates) {
    std::vector<std::string> nearest;
    std::size_t best = std::max<std::size_t>(1, named.size() / kLettersPerMistake);
    for (const std::string& candidate : candidates) {
        const std::size_t apart = distance(named, candidate);
        if (apart == 0 || apart > best) continue;
        if (apart < best) nearest.clear();
        best = apart;
        if (std::find(nearest.begin(), nearest.end(), candidate) == nearest.end()) {
            nearest.push_back(candidate);
        }
    }
    return nearest;
}

std::string withMissingPortAdvice(const std::string& line, std::string_view named,
                                  const std::vector<PortDescription>& present) {
    std::string text = line.empty() || line.back() == '.' ? line : line + ".";
    if (present.empty()) return text + " No serial port is there at all.";
    text += " The ports there are: ";
    std::vector<std::string> candidates;
    for (std::size_t i = 0; i < present.size(); ++i) {
        const PortDescription& port = present[i];
        text += (i == 0 ? "" : ", ") + portShortName(port);
        candidates.push_back(comName(port));
        for (const std::string* name : {&port.device, &port.target, &port.identity.stableName}) {
            if (!name->empty()) candidates.push_back(*name);
        }
    }
    text += ".";
    if (const std::string guess = question(nearestNames(named, candidates)); !guess.empty()) {
        text += " " + guess;
    }
    return text;
}

}  // namespace comflash::cli
