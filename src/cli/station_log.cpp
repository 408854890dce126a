#include "cli/station_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace comflash::cli {

std::string utcTime(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
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
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return path + ": " + std::strerror(errno);
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return path + ": " + std::strerror(errno);
    if (info.st_size > 0) return {};
    if (std::string why = write(csvHeader()); !why.empty()) return why;
    // The new file's name must survive a power cut as well as its contents.
    std::error_code error;
    const auto folder = std::filesystem::absolute(path, error).parent_path();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
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
        const ssize_t wrote = ::write(fd_, text.data() + done, text.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        const int error = wrote < 0 ? errno : ENOSPC;
        // Half a record would spoil the line after it: the file goes back to its last whole one.
        if (done > 0 && ::ftruncate(fd_, info.st_size) == 0) ::fsync(fd_);
        return path_ + ": cannot be written: " + std::strerror(error);
    }
    if (::fsync(fd_) != 0) return path_ + ": cannot be synced: " + std::strerror(errno);
    return {};
}

}  // namespace comflash::cli
