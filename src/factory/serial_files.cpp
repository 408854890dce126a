#include "factory/serial_files.h"

#include <fcntl.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "app/file_replacement.h"
#include "app/system_text.h"
#include "factory/serial_format.h"

namespace comflash::factory {

namespace {

constexpr const char* kBlanks = " \t\r\n\v\f";

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

// Holds an exclusive lock on the file at `path` for as long as it lives, waiting for it as
// long as another holder keeps it. The lock goes with the open file: a second open of the same
// file in one process waits like another process does.
class FileLock {
  public:
    explicit FileLock(const std::string& path) {
#ifdef _WIN32
        handle_ = CreateFileW(app::pathFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            failure_ = std::system_category().message(static_cast<int>(GetLastError()));
            return;
        }
        OVERLAPPED whole{};
        if (!LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
            failure_ = std::system_category().message(static_cast<int>(GetLastError()));
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
#else
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        int locked = fd_ < 0 ? -1 : ::flock(fd_, LOCK_EX);
        while (locked != 0 && fd_ >= 0 && errno == EINTR) locked = ::flock(fd_, LOCK_EX);
        if (locked != 0) {
            failure_ = std::generic_category().message(errno);
            if (fd_ >= 0) ::close(fd_);
            fd_ = -1;
        }
#endif
        if (!failure_.empty()) failure_ = app::shownName(path) + ": cannot be locked: " + failure_;
    }
    ~FileLock() {
#ifdef _WIN32
        if (handle_ == INVALID_HANDLE_VALUE) return;
        OVERLAPPED whole{};
        UnlockFileEx(handle_, 0, MAXDWORD, MAXDWORD, &whole);
        CloseHandle(handle_);
#else
        if (fd_ >= 0) ::close(fd_);  // closing the file releases its lock
#endif
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Empty when the lock is held.
    const std::string& failure() const {
        return failure_;
    }

  private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
    std::string failure_;
};

// The file's text; none when it does not exist; or why it cannot be read.
struct Read {
    std::optional<std::string> text;
    std::string why;
};

Read readText(const std::string& path) {
    const std::filesystem::path file = app::pathFromUtf8(path);
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        if (error) return {std::nullopt, error.message()};
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) return {std::nullopt, std::generic_category().message(errno)};
    std::string text{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) return {std::nullopt, "a read failed"};
    return {std::move(text), {}};
}

Reservation refused(std::string why) {
    return {std::nullopt, std::move(why)};
}

bool isSerial(const std::string& text) {
    return std::holds_alternative<std::vector<std::uint8_t>>(
               encodeSerial({SerialFormat::Kind::Decimal, 20, false}, text)) ||
           std::holds_alternative<std::vector<std::uint8_t>>(
               encodeSerial({SerialFormat::Kind::Mac, 6, false}, text));
}

}  // namespace

Reservation CounterFile::reserve() {
    const std::string name = "the counter " + app::shownName(path_);
    const FileLock lock(path_ + ".lock");
    if (!lock.failure().empty()) return refused(lock.failure());
    const Read read = readText(path_);
    if (!read.text) {
        if (!read.why.empty()) return refused(name + " cannot be read: " + read.why);
        return refused(name +
                       " does not exist; make it holding the first serial number (a whole "
                       "number, or a MAC address), e.g. 1000");
    }
    const std::string serial = trimmed(*read.text);
    const std::optional<std::string> next = nextSerial(serial);
    if (!next) {
        if (isSerial(serial)) return refused(name + " is at its end: " + serial + " has no next");
        return refused(name + " holds \"" + serial +
                       "\", not a serial number (a whole number, or a MAC address)");
    }
    // The next number is on disk before this one is handed out.
    if (const std::string why = app::ReplaceFileContents(path_, *next + "\n"); !why.empty()) {
        return refused(name + " cannot be written: " + why + "; no serial number was taken");
    }
    return {serial, {}};
}

std::vector<std::string> listedSerials(const std::string& text) {
    std::vector<std::string> serials;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (!line.empty() && line.front() != '#') serials.push_back(line);
    }
    return serials;
}

Reservation ListFile::reserve() {
    const std::string name = "the list " + app::shownName(path_);
    const std::string usedPath = path_ + ".used";
    const FileLock lock(path_ + ".lock");
    if (!lock.failure().empty()) return refused(lock.failure());
    const Read list = readText(path_);
    if (!list.text) {
        return refused(name + " cannot be read: " +
                       (list.why.empty() ? std::string("no such file") : list.why));
    }
    const std::vector<std::string> serials = listedSerials(*list.text);
    if (serials.empty()) return refused(name + " holds no serial numbers");
    const Read used = readText(usedPath);
    if (!used.why.empty()) {
        return refused(app::shownName(usedPath) + " cannot be read: " + used.why);
    }
    std::size_t taken = 0;
    if (used.text) {
        const std::string count = trimmed(*used.text);
        const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), taken);
        if (count.empty() || error != std::errc() || end != count.data() + count.size()) {
            return refused(app::shownName(usedPath) + " holds \"" + count +
                           "\", not the count of serial numbers taken from " + name);
        }
    }
    if (taken >= serials.size()) {
        return refused(name + " is used up: all " + std::to_string(serials.size()) +
                       " serial numbers are taken");
    }
    // The count is on disk before the number is handed out.
    if (const std::string why =
            app::ReplaceFileContents(usedPath, std::to_string(taken + 1) + "\n");
        !why.empty()) {
        return refused(app::shownName(usedPath) + " cannot be written: " + why +
                       "; no serial number was taken");
    }
    return {serials[taken], {}};
}

}  // namespace comflash::factory
