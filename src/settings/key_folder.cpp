#include "settings/key_folder.h"

#include "settings/ascii_case.h"
#include "settings/percent_encoding.h"

namespace comflash::settings {

namespace {

constexpr std::string_view kLocalMachineFolder = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kEmptyNameFolder = "%";
constexpr char kKeySeparator = '\\';

bool keepInFolderName(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string keyFolderName(std::string_view keyName) {
    if (keyName.empty()) return std::string(kEmptyNameFolder);
    std::string folded(keyName);
    for (char& c : folded) c = foldAsciiCase(c);
    return percentEncode(folded, keepInFolderName);
}

std::optional<std::string> keyFolder(RootKey root, std::string_view keyPath) {
    if (root != RootKey::LocalMachine) return std::nullopt;
    std::string folder(kLocalMachineFolder);
    if (keyPath.empty()) return folder;
    while (true) {
        const std::size_t end = keyPath.find(kKeySeparator);
        folder += '/';
        folder += keyFolderName(keyPath.substr(0, end));
        if (end == std::string_view::npos) return folder;
        keyPath.remove_prefix(end + 1);
    }
}

}  // namespace comflash::settings
