#include "app/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace comflash::app {

namespace {

// Ordinary permissions for a new file; the user's umask narrows them.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
constexpr int kTemporaryNameAttempts = 100;

std::string errorText(int error) {
    return std::generic_category().message(error);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// Creates a file of its own next to the target; its name starts with "." and ends with the
// process id and a number, so that it hides in listings and no two saves share it.
int createTemporary(const std::filesystem::path& target, std::string& name) {
    const std::string prefix =
        (target.parent_path() / std::string(".").append(target.filename().string())).string() +
        "." + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = prefix + std::to_string(attempt);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

std::string ReplaceFileContents(const std::string& path, std::string_view contents) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = fs::absolute(path, error);
    if (error) return error.message();
    if (fs::is_symlink(target, error)) {
        // A link that leads nowhere is itself replaced by the file.
        const fs::path linked = fs::canonical(target, error);
        if (!error) target = linked;
    }

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (S_ISDIR(existing.st_mode)) return errorText(EISDIR);
        if (!S_ISREG(existing.st_mode)) return "not a regular file";
        // A read-only file stays as it is, even in a folder that would let it be replaced.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errorText(errno);
    } else if (errno != ENOENT) {
        return errorText(errno);
    }

    std::string temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0) return errorText(errno);
    bool written = writeAll(fd, contents) &&
                   (!exists || ::fchmod(fd, existing.st_mode & kPermissionBits) == 0) &&
                   ::fsync(fd) == 0;
    int failure = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        failure = errno;
    }
    if (written && std::rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        failure = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return errorText(failure);
    }
    // Makes the rename itself durable. The new file is complete and in place already, so a
    // folder that cannot be synced does not undo the save.
    const std::string folder = target.parent_path().string();
    if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

}  // namespace comflash::app
