// Windows: the same replacement through the system's own calls. MoveFileEx replaces the target
// in one step once the new file is complete and flushed.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/file_replacement.h"

namespace comflash::app {

namespace {

constexpr int kTemporaryNameAttempts = 100;

std::string systemErrorText(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

}  // namespace

std::string ReplaceFileContents(const std::string& path, std::string_view contents) {
    namespace fs = std::filesystem;
    std::error_code error;
    // Paths are UTF-8 inside the program.
    const fs::path target = fs::absolute(fs::path(std::u8string(path.begin(), path.end())), error);
    if (error) return error.message();

    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return systemErrorText(ERROR_DIRECTORY);
        // A read-only file stays as it is.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return systemErrorText(ERROR_ACCESS_DENIED);
        }
    } else if (const DWORD why = GetLastError();
               why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND) {
        return systemErrorText(why);
    }

    // A file of its own next to the target, created exclusively.
    fs::path temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && file == INVALID_HANDLE_VALUE;
         ++attempt) {
        temporary = target;
        temporary += L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                     std::to_wstring(attempt) + L".tmp";
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return systemErrorText(GetLastError());

    // The bytes go out as they are: no line end is translated.
    bool written = true;
    DWORD failure = 0;
    while (written && !contents.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1u << 20));
        DWORD done = 0;
        written = WriteFile(file, contents.data(), chunk, &done, nullptr) != 0;
        if (written) contents.remove_prefix(done);
    }
    written = written && FlushFileBuffers(file) != 0;
    if (!written) failure = GetLastError();
    CloseHandle(file);
    if (written && MoveFileExW(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        written = false;
        failure = GetLastError();
    }
    if (!written) {
        DeleteFileW(temporary.c_str());
        return systemErrorText(failure);
    }
    return {};
}

}  // namespace comflash::app
