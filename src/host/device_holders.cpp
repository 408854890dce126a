#include "host/device_holders.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace comflash::host {

namespace fs = std::filesystem;

namespace {

bool isNumber(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool holds(const fs::path& process, const fs::path& device) {
    std::error_code error;
    for (const auto& fd : fs::directory_iterator(process / "fd", error)) {
        std::error_code unread;
        if (fs::read_symlink(fd.path(), unread) == device && !unread) return true;
    }
    return false;
}

}  // namespace

std::string deviceHolders(const std::string& device, const std::string& procRoot) {
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) return {};
    std::vector<std::string> holders;
    for (const auto& process : fs::directory_iterator(procRoot, error)) {
        const std::string pid = process.path().filename().string();
        if (!isNumber(pid) || !holds(process.path(), target)) continue;
        std::ifstream comm(process.path() / "comm");
        std::string name;
        std::getline(comm, name);
        holders.push_back((name.empty() ? std::string("a process") : name) + " (pid " + pid + ")");
    }
    if (holders.empty()) return {};
    std::sort(holders.begin(), holders.end());
    std::string text = "held by ";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == holders.size() ? " and " : ", ") + holders[i];
    }
    return text;
}

}  // namespace comflash::host
