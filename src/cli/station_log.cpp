#include "cli/station_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace comflash::cli {

namespace {

#ifdef _WIN32
// Bytes as they are (no line-end translation); the handle is not inherited.
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CREAT | O_BINARY | O_NOINHERIT;
int syncFile(int fd) {
    return ::_commit(fd);
}
int cutTo(int fd, long long size) {
    return ::_chsize_s(fd, size);
}
void syncFolderOf(const std::string&) {}  // NTFS keeps a new file's name with its data
#else
constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
int syncFile(int fd) {
    return ::fsync(fd);
}
int cutTo(int fd, long long size) {
    return ::ftruncate(fd, static_cast<off_t>(size));
}
// The new file's name must survive a power cut as well as its contents.
void syncFolderOf(const std::string& path) {
    std::error_code error;
    const auto folder = std::filesystem::absolute(path, error).parent_path();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}
#endif

}  // namespace

std::string utcTime(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    const auto day = floor<days>(at);
    const year_month_day date(day);
    const hh_mm_ss time(floor<seconds>(at - day));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string csvHeader() {
    return "time_utc,port,device,firmware,sha256,model,version,result,result_code,verified,"
           "seconds,bytes_written\r\n";
}

std::string csvLine(const BoardRecord& r) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    std::string line;
    for (const std::string* field : {&r.time, &r.port, &r.device, &r.firmware, &r.sha256, &r.model,
                                     &r.version, &r.result, &r.code}) {
        line += csvField(*field) + ",";
    }
    return line + (r.verified ? "yes" : "no") + "," + seconds + "," + std::to_string(r.bytes) +
           "\r\n";
}

StationLog::~StationLog() {
    if (fd_ >= 0) ::close(fd_);
}

std::string StationLog::open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), kOpenFlags, 0644);
    if (fd_ < 0) return path + ": " + std::strerror(errno);
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return path + ": " + std::strerror(errno);
    if (info.st_size > 0) return {};
    if (std::string why = write(csvHeader()); !why.empty()) return why;
    syncFolderOf(path);
    return {};
}

std::string StationLog::append(const BoardRecord& record) {
    if (fd_ < 0) return path_ + ": not open";
    return write(csvLine(record));
}

std::string StationLog::write(const std::string& text) {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return path_ + ": " + std::strerror(errno);
    std::size_t done = 0;
    while (done < text.size()) {
        const auto wrote =
            ::write(fd_, text.data() + done, static_cast<unsigned>(text.size() - done));
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        const int error = wrote < 0 ? errno : ENOSPC;
        // Half a record would spoil the line after it: the file goes back to its last whole one.
        if (done > 0 && cutTo(fd_, info.st_size) == 0) syncFile(fd_);
        return path_ + ": cannot be written: " + std::strerror(error);
    }
    if (syncFile(fd_) != 0) return path_ + ": cannot be synced: " + std::strerror(errno);
    return {};
}

}  // namespace comflash::cli
