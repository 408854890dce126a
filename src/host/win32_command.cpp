#include "host/win32_command.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "host/command_output.h"
#include "ui/win32/wide_text.h"

namespace comflash::host {

namespace {

using ui::win32::Notices;
using ui::win32::systemReason;
using ui::win32::wide;

// How long the output is still read once the command has ended. What it wrote is read a
// little later than its end is seen (Wine passes both through its server), and a child it
// left running may hold the pipes open for as long as it likes.
constexpr DWORD kOutputGrace = 200;
constexpr DWORD kPipeBuffer = 64 * 1024;
// An exit status with these top bits is a system error code (severity "error", not a
// customer's code): the process ended by an exception, such as 0xC0000005. A program's own
// negative status (-1 is 0xFFFFFFFF) has the customer bit set.
constexpr DWORD kExceptionBits = 0xE0000000;
constexpr DWORD kException = 0xC0000000;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle owned(HANDLE handle) {
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The part of "NAME=value" before its '=' ("=C:=C:\work", kept for each drive, is named "=C:").
std::wstring_view nameOf(std::wstring_view entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

int compareNames(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE);
}

// The program's environment with `added` in place of variables of the same name (Windows
// ignores their case), sorted as Windows keeps it.
std::wstring environmentBlock(const cli::Environment& added) {
    std::vector<std::wstring> entries;
    for (const auto& [name, value] : added) entries.push_back(wide(name) + L'=' + wide(value));
    const auto addedCount = static_cast<std::ptrdiff_t>(entries.size());
    wchar_t* const block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';
         entry += std::wcslen(entry) + 1) {
        const std::wstring_view text(entry);
        if (std::none_of(entries.begin(), entries.begin() + addedCount, [&](const auto& ours) {
                return compareNames(nameOf(ours), nameOf(text)) == CSTR_EQUAL;
            })) {
            entries.emplace_back(text);
        }
    }
    if (block != nullptr) FreeEnvironmentStringsW(block);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return compareNames(nameOf(a), nameOf(b)) == CSTR_LESS_THAN;
    });
    std::wstring text;
    for (const auto& entry : entries) text.append(entry).push_back(L'\0');
    text.push_back(L'\0');
    return text;
}

// A pipe from the command whose reading end, ours, reads overlapped, so that one thread waits
// for the command and both its pipes at once (an anonymous pipe cannot).
bool makePipe(Handle& ours, Handle& theirs) {
    static std::atomic<unsigned> made{0};
    const std::wstring name = L"\\\\.\\pipe\\comflash-command-" +
                              std::to_wstring(GetCurrentProcessId()) + L'-' +
                              std::to_wstring(++made);
    ours = owned(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        kPipeBuffer, 0, nullptr));
    if (!ours) return false;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    theirs = owned(CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inherited,
                               OPEN_EXISTING, 0, nullptr));
    return theirs != nullptr;
}

std::wstring systemFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size())));
    return folder;
}

// Our end of a pipe from the command, read overlapped by the watching thread.
struct Channel {
    Handle pipe;
    Handle ready = owned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    char buffer[4096];
    bool open = false;  // a read is under way
};

class Win32Command final : public cli::RunningCommand {
  public:
    Win32Command(std::function<void(const cli::CommandResult&)> done, Notices& notices);
    ~Win32Command() override;
    Win32Command(const Win32Command&) = delete;
    Win32Command& operator=(const Win32Command&) = delete;

    void start(const std::string& command, const cli::Environment& environment);

  private:
    // Empty once the command runs; else why it could not be started.
    std::string launch(const std::string& command, const cli::Environment& environment);
    void watch();
    void read(Channel& channel);
    void taken(Channel& channel, bool isOut);
    void ended();

    std::function<void(const cli::CommandResult&)> done_;
    Notices& notices_;
    UINT_PTR notice_ = 0;
    std::string notStarted_;
    Handle job_;
    Handle process_;
    Handle stop_ = owned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Channel out_;
    Channel err_;
    // Written by the watching thread, read on the loop's once it has been joined.
    CommandOutput output_;
    DWORD exitCode_ = 0;
    std::thread watcher_;
};

Win32Command::Win32Command(std::function<void(const cli::CommandResult&)> done, Notices& notices)
    : done_(std::move(done)),
      notices_(notices),
      notice_(notices_.add([this](LPARAM) { ended(); })) {}

// The job ends the whole tree at once; the watcher stops reading and is joined.
Win32Command::~Win32Command() {
    if (job_) TerminateJobObject(job_.get(), 1);
    SetEvent(stop_.get());
    if (watcher_.joinable()) watcher_.join();
    notices_.remove(notice_);
}

// Its result comes on the loop, later, whether it runs or not.
void Win32Command::start(const std::string& command, const cli::Environment& environment) {
    notStarted_ = launch(command, environment);
    if (!notStarted_.empty()) {
        notices_.post(notice_, 0);
        return;
    }
    watcher_ = std::thread([this] {
        watch();
        notices_.post(notice_, 0);
    });
}

std::string Win32Command::launch(const std::string& command, const cli::Environment& environment) {
    job_ = owned(CreateJobObjectW(nullptr, nullptr));
    if (!job_) return "cannot make a job object: " + systemReason(GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        return "cannot limit a job object: " + systemReason(GetLastError());
    }
    // The command's ends of its pipes and its input are inherited, and closed here as soon
    // as it has them.
    Handle outEnd;
    Handle errEnd;
    if (!stop_ || !out_.ready || !err_.ready || !makePipe(out_.pipe, outEnd) ||
        !makePipe(err_.pipe, errEnd)) {
        return "cannot make a pipe: " + systemReason(GetLastError());
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const Handle nothing =
        owned(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                          OPEN_EXISTING, 0, nullptr));
    if (!nothing) return "cannot open NUL: " + systemReason(GetLastError());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing.get();
    startup.hStdOutput = outEnd.get();
    startup.hStdError = errEnd.get();
    const std::wstring shell = systemFolder() + L"\\cmd.exe";
    std::wstring line = L"cmd.exe /d /s /c \"" + wide(command) + L'"';
    std::wstring variables = environmentBlock(environment);
    PROCESS_INFORMATION started{};
    // Suspended until it is in the job, so that nothing it starts escapes it.
    if (!CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                        variables.data(), nullptr, &startup, &started)) {
        return "cannot run " + ui::win32::utf8(shell) + ": " + systemReason(GetLastError());
    }
    process_ = owned(started.hProcess);
    const Handle thread = owned(started.hThread);
    if (!AssignProcessToJobObject(job_.get(), process_.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(process_.get(), 1);
        return "cannot put the command in a job object: " + systemReason(error);
    }
    ResumeThread(thread.get());
    return {};
}

// Reads both pipes until the command has ended and, within a short grace, its pipes too.
void Win32Command::watch() {
    read(out_);
    read(err_);
    bool exited = false;
    ULONGLONG until = 0;
    for (;;) {
        HANDLE handles[4] = {stop_.get(), process_.get()};
        Channel* channels[4] = {};
        DWORD count = exited ? 1 : 2;
        for (Channel* channel : {&out_, &err_}) {
            if (!channel->open) continue;
            channels[count] = channel;
            handles[count++] = channel->ready.get();
        }
        const ULONGLONG now = GetTickCount64();
        if (exited && (count == 1 || now >= until)) break;
        const DWORD wait = exited ? static_cast<DWORD>(until - now) : INFINITE;
        const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, wait) - WAIT_OBJECT_0;
        if (woken >= count) break;  // the grace is over
        if (woken == 0) break;      // destroyed
        if (channels[woken] == nullptr) {
            exited = true;
            until = GetTickCount64() + kOutputGrace;
            continue;
        }
        taken(*channels[woken], channels[woken] == &out_);
    }
    for (Channel* channel : {&out_, &err_}) {
        if (!channel->open) continue;
        DWORD got = 0;
        CancelIoEx(channel->pipe.get(), &channel->overlapped);
        GetOverlappedResult(channel->pipe.get(), &channel->overlapped, &got, TRUE);
        channel->open = false;
    }
    GetExitCodeProcess(process_.get(), &exitCode_);
}

// Starts the next read, whose end sets the channel's event.
void Win32Command::read(Channel& channel) {
    ResetEvent(channel.ready.get());
    channel.overlapped = OVERLAPPED{};
    channel.overlapped.hEvent = channel.ready.get();
    channel.open = ReadFile(channel.pipe.get(), channel.buffer, sizeof channel.buffer, nullptr,
                            &channel.overlapped) ||
                   GetLastError() == ERROR_IO_PENDING;
}

// A read has ended: its bytes are kept, and the next read starts, unless the pipe has ended
// (every writer gone).
void Win32Command::taken(Channel& channel, bool isOut) {
    DWORD got = 0;
    if (!GetOverlappedResult(channel.pipe.get(), &channel.overlapped, &got, FALSE)) {
        channel.open = false;
        return;
    }
    const std::string_view bytes(channel.buffer, got);
    isOut ? output_.addOut(bytes) : output_.addErr(bytes);
    read(channel);
}

// On the loop's thread. The receiver may destroy the command: nothing of it is touched after.
void Win32Command::ended() {
    cli::CommandResult result;
    if (!notStarted_.empty()) {
        result.why = notStarted_;
    } else {
        watcher_.join();
        result.firstLine = output_.firstLine();
        if ((exitCode_ & kExceptionBits) == kException) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(exitCode_));
            result.end = cli::CommandResult::End::Crashed;
            result.why = std::string("exception ") + code;
        } else {
            result.end = cli::CommandResult::End::Exited;
            result.code = static_cast<int>(exitCode_);
            if (result.code != 0) result.why = output_.lastErrorLine();
        }
    }
    const auto done = std::move(done_);
    if (done) done(result);
}

}  // namespace

std::unique_ptr<cli::RunningCommand> runWin32Command(
    const std::string& command, const cli::Environment& environment,
    std::function<void(const cli::CommandResult&)> done, Notices& notices) {
    auto running = std::make_unique<Win32Command>(std::move(done), notices);
    running->start(command, environment);
    return running;
}

}  // namespace comflash::host
