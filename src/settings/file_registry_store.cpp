#include "settings/file_registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "app/file_replacement.h"
#include "settings/key_folder.h"
#include "settings/key_values.h"

namespace comflash::settings {

namespace {

constexpr std::string_view kStoreFolder = "comflash";
constexpr std::string_view kDefaultConfigFolder = "/.config";
constexpr std::string_view kValuesFile = "/values.txt";
// The settings are the user's own.
constexpr mode_t kFolderMode = 0700;
constexpr std::size_t kReadChunk = 4096;

enum class FileRead { Read, Missing, Failed };

FileRead readWholeFile(const std::string& path, std::string& contents) {
    // Non-blocking, so that a pipe put in the file's place cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return FileRead::Failed;
    }
    contents.clear();
    char chunk[kReadChunk];
    FileRead result = FileRead::Read;
    while (true) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            result = FileRead::Failed;
            break;
        }
        contents.append(chunk, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return result;
}

// Creates `path` and every missing folder above it.
bool createFolders(const std::string& path) {
    for (std::size_t end = path.find('/', 1); end != std::string::npos;
         end = path.find('/', end + 1)) {
        if (::mkdir(path.substr(0, end).c_str(), kFolderMode) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return ::mkdir(path.c_str(), kFolderMode) == 0 || errno == EEXIST;
}

// The registry opens a key for reading with the rights to modify it; a folder that the user
// may not modify stands for such a key.
bool mayModify(const std::string& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace

FileRegistryStore::FileRegistryStore(std::string root) : root_(std::move(root)) {}

std::string FileRegistryStore::rootFor(const char* xdgConfigHome, const char* home) {
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        return std::string(xdgConfigHome) + "/" + std::string(kStoreFolder);
    }
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + std::string(kDefaultConfigFolder) + "/" +
               std::string(kStoreFolder);
    }
    return {};
}

bool FileRegistryStore::WriteRegValue(RootKey root, const std::string& keyPath,
                                      const std::string& valueName, const std::string& value) {
    return putValue(root, keyPath, valueName, ValueType::RegSz, textValueData(value));
}

std::string FileRegistryStore::ReadRegValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) {
    const auto folder = keyFolder(root, keyPath);
    if (!folder || root_.empty()) return {};
    const std::string path = root_ + "/" + *folder;
    if (!mayModify(path)) return {};
    std::string contents;
    if (readWholeFile(path + std::string(kValuesFile), contents) != FileRead::Read) return {};
    const auto values = KeyValues::parse(contents);
    if (!values) return {};
    const StoredValue* const value = values->find(valueName);
    return value ? readValueText(value->type, value->data) : std::string();
}

bool FileRegistryStore::putValue(RootKey root, const std::string& keyPath,
                                 const std::string& valueName, ValueType type,
                                 std::string_view data) {
    const auto folder = keyFolder(root, keyPath);
    if (!folder || root_.empty()) return false;
    const std::string path = root_ + "/" + *folder;
    if (!createFolders(path)) return false;
    KeyValues values;
    std::string contents;
    switch (readWholeFile(path + std::string(kValuesFile), contents)) {
        case FileRead::Missing:
            break;
        case FileRead::Failed:
            return false;
        case FileRead::Read: {
            // A damaged file is left for the user to inspect rather than replaced by one that
            // would silently lose its other values.
            auto parsed = KeyValues::parse(contents);
            if (!parsed) return false;
            values = std::move(*parsed);
            break;
        }
    }
    values.set(valueName, type, data);
    // As a whole or not at all: the file keeps its old values when the write fails.
    return app::ReplaceFileContents(path + std::string(kValuesFile), values.serialize()).empty();
}

bool FileRegistryStore::putDword(RootKey root, const std::string& keyPath,
                                 const std::string& valueName, std::uint32_t number) {
    std::string data;
    for (std::size_t byte = 0; byte < kDwordSize; ++byte) {
        data.push_back(static_cast<char>((number >> (8 * byte)) & 0xFFu));
    }
    return putValue(root, keyPath, valueName, ValueType::RegDword, data);
}

}  // namespace comflash::settings
