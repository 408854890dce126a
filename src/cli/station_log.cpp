#include "cli/station_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/system_text.h"

namespace comflash::cli {

namespace {

#ifdef _WIN32
// Bytes as they are (no line-end translation); the handle is not inherited.
constexpr int kOpenFlags = O_RDWR | O_APPEND | O_BINARY | O_NOINHERIT;
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_BINARY | O_NOINHERIT;
// The system's own flush writes the file's data and size through to the disk.
int syncFile(int fd) {
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd)))) return 0;
    errno = EIO;
    return -1;
}
int cutTo(int fd, long long size) {
    return ::_chsize_s(fd, size);
}
void syncFolderOf(const std::string&) {}  // NTFS keeps a new file's name with its data
// Puts `from` in place as `to` unless `to` exists: false, with errno EEXIST, when it does.
bool placeNew(const std::string& from, const std::string& to) {
    if (MoveFileExW(app::pathFromUtf8(from).c_str(), app::pathFromUtf8(to).c_str(),
                    MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS ? EEXIST
                                                                                          : EIO;
    return false;
}
void lockFile(int fd) {
    OVERLAPPED whole{};
    LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD,
               MAXDWORD, &whole);
}
void unlockFile(int fd) {
    OVERLAPPED whole{};
    UnlockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), 0, MAXDWORD, MAXDWORD, &whole);
}
long long readAt(int fd, char* into, unsigned count, long long at) {
    if (::_lseeki64(fd, at, SEEK_SET) < 0) return -1;
    return ::_read(fd, into, count);
}
int openFile(const std::string& path, int flags) {
    return ::_wopen(app::pathFromUtf8(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}
#else
constexpr int kOpenFlags = O_RDWR | O_APPEND | O_CLOEXEC;
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
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
// Puts `from` in place as `to` unless `to` exists: false, with errno EEXIST, when it does.
bool placeNew(const std::string& from, const std::string& to) {
    const bool placed = ::link(from.c_str(), to.c_str()) == 0;
    const int error = errno;
    ::unlink(from.c_str());
    errno = error;
    return placed;
}
void lockFile(int fd) {
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}
void unlockFile(int fd) {
    ::flock(fd, LOCK_UN);
}
long long readAt(int fd, char* into, unsigned count, long long at) {
    return ::pread(fd, into, count, static_cast<off_t>(at));
}
int openFile(const std::string& path, int flags) {
    return ::open(path.c_str(), flags, 0644);
}
#endif

// Holds the log's lock for as long as it lives: one station appends at a time.
class Locked {
  public:
    explicit Locked(int fd) : fd_(fd) { lockFile(fd_); }
    ~Locked() { unlockFile(fd_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    int fd_;
};

// A new log comes into being whole, its header in it: written beside it and put in place
// only where no file is, so that two stations starting on one new log make one header.
std::string createWithHeader(const std::string& path) {
    const std::string temporary = path + ".new-" +
                                  std::to_string(
#ifdef _WIN32
                                      GetCurrentProcessId()
#else
                                      ::getpid()
#endif
                                  );
    const int fd = openFile(temporary, kNewFileFlags);
    if (fd < 0) return path + ": " + std::strerror(errno);
    const std::string header = csvHeader();
    const bool written = ::write(fd, header.data(), static_cast<unsigned>(header.size())) ==
                             static_cast<long long>(header.size()) &&
                         syncFile(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        std::filesystem::remove(app::pathFromUtf8(temporary));
        return path + ": " + std::strerror(error);
    }
    if (!placeNew(temporary, path) && errno != EEXIST) {
        const int placing = errno;
        std::filesystem::remove(app::pathFromUtf8(temporary));
        return path + ": " + std::strerror(placing);
    }
    std::error_code ignored;
    std::filesystem::remove(app::pathFromUtf8(temporary), ignored);
    syncFolderOf(path);
    return {};
}

// The line the file starts with, without its line end.
std::string firstLine(int fd) {
    std::string line;
    char buffer[512];
    for (long long at = 0;;) {
        const long long got = readAt(fd, buffer, sizeof buffer, at);
        if (got <= 0) return line;
        line.append(buffer, static_cast<std::size_t>(got));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            line.resize(end);
            break;
        }
        at += got;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

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

std::string olderCsvHeader() {
    return "time_utc,port,device,firmware,sha256,model,version,result,result_code,verified,"
           "seconds,bytes_written\r\n";
}

std::string csvHeader() {
    std::string header = olderCsvHeader();
    return header.insert(header.size() - 2, ",id,station,serial,serial_state,note");
}

std::string csvLine(const BoardRecord& r) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    std::string line;
    for (const std::string* field : {&r.time, &r.port, &r.device, &r.firmware, &r.sha256, &r.model,
                                     &r.version, &r.result, &r.code}) {
        line += csvField(*field) + ",";
    }
    line += std::string(r.verified ? "yes" : "no") + "," + seconds + "," + std::to_string(r.bytes);
    for (const std::string* field : {&r.id, &r.station, &r.serial, &r.serialState, &r.note}) {
        line += "," + csvField(*field);
    }
    return line + "\r\n";
}

StationLog::~StationLog() {
    if (fd_ >= 0) ::close(fd_);
}

std::string StationLog::open(const std::string& path) {
    path_ = path;
    std::error_code error;
    if (!std::filesystem::exists(app::pathFromUtf8(path), error)) {
        if (std::string why = createWithHeader(path); !why.empty()) return why;
    }
    fd_ = openFile(path, kOpenFlags);
    if (fd_ < 0) return path + ": " + std::strerror(errno);
    std::string first;
    {
        // Let go before the file may be closed below: the lock is the open file's.
        const Locked locked(fd_);
        struct stat info {};
        if (::fstat(fd_, &info) != 0) return path + ": " + std::strerror(errno);
        if (info.st_size == 0) return write(csvHeader());
        first = firstLine(fd_);
    }
    // Records go only under this station's own header: another file, or a log of an older
    // format, would get rows it cannot read.
    std::string header = csvHeader();
    header.resize(header.size() - 2);
    std::string older = olderCsvHeader();
    older.resize(older.size() - 2);
    if (first == header) return {};
    ::close(fd_);
    fd_ = -1;
    // A log of the older format keeps its rows as they are: records without their id, station
    // and serial number would lose what the board got, and mixed rows would spoil its columns.
    if (first == older) {
        return path +
               ": a log of the older format, without the columns id, station, serial, "
               "serial_state and note; its records stay as they are (comflash-cli records push "
               "sends them to the database): give --log a new file";
    }
    return path + ": its first line is not the header of a station's log (" + header +
           "): another file, or a log of another format; give --log another file";
}

std::string StationLog::append(const BoardRecord& record) {
    if (fd_ < 0) return path_ + ": not open";
    const Locked locked(fd_);
    // A log saved by a spreadsheet or an editor may end without a line end: the record starts
    // on a line of its own all the same, rather than being glued to the last one.
    struct stat info {};
    char last = '\n';
    if (::fstat(fd_, &info) == 0 && info.st_size > 0 &&
        readAt(fd_, &last, 1, static_cast<long long>(info.st_size) - 1) == 1 && last != '\n') {
        return write("\r\n" + csvLine(record));
    }
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
