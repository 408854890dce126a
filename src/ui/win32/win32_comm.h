// The serial control over a Win32 communications port, \\.\COMn, opened for overlapped I/O.
// A reader thread waits in an overlapped read for the next byte the port receives, takes
// what arrived and posts a notice to the user-interface thread's message window; there, and
// only there, the bytes join the control's buffer and onComm runs with kEventReceive once at
// least RThreshold bytes are buffered. Writes run on the user-interface thread and end when
// the driver has taken the bytes. A write that fails, or a device that goes away, closes the
// port and raises kEventPortFailed once; failureReason() then holds the system's words.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "ui/controls.h"
#include "ui/line_settings.h"
#include "ui/win32/control_adapter.h"

namespace comflash::ui::win32 {

class Win32Comm final : public CommControl, public ControlAdapter {
  public:
    Win32Comm();
    // Closes the port while the handlers wired to it are still whole.
    ~Win32Comm() override;
    Win32Comm(const Win32Comm&) = delete;
    Win32Comm& operator=(const Win32Comm&) = delete;

    int commPort() const override { return commPort_; }
    // Takes effect at the next opening.
    void setCommPort(int number) override { commPort_ = number; }
    std::string settings() const override { return settings_; }
    // Applied to an open port at once.
    bool setSettings(const std::string& settings) override;
    bool portOpen() const override { return port_ != INVALID_HANDLE_VALUE; }
    // Opening an open port does nothing and succeeds.
    bool setPortOpen(bool open) override;
    int inputMode() const override { return inputMode_; }
    void setInputMode(int mode) override { inputMode_ = mode; }
    int rThreshold() const override { return rThreshold_; }
    void setRThreshold(int count) override;
    std::vector<std::uint8_t> input() override;
    bool output(std::span<const std::uint8_t> bytes) override;
    int commEvent() const override { return commEvent_; }
    // Why the port last failed to open, or failed while open; empty after a good opening.
    const std::string& failureReason() const { return failureReason_; }
    PortFault lastFailure() const override;

    void load() override;
    void unload() override;

    // The name CreateFileW opens for COMn: the device namespace's, so that COM10 and above
    // open as well as COM1 to COM9.
    static std::wstring deviceName(int number);

  private:
    bool open();
    void close();
    bool apply(const LineSettings& line);
    void takeReceived();
    void received();
    void fail(DWORD error);
    void noteFailure(PortFault::Kind kind, DWORD error);
    void read();
    static constexpr DWORD kFailed = MAXDWORD;
    DWORD buffered(OVERLAPPED& overlapped, std::span<std::uint8_t> into);
    void arrive(const std::uint8_t* bytes, DWORD count);
    // Posts the received notice when the held bytes reach the threshold; under mutex_.
    void noticeIfDue();
    void readerFailed(DWORD error);

    int commPort_ = 1;
    std::string settings_;
    LineSettings line_;
    int inputMode_ = kInputModeText;
    int rThreshold_ = 0;
    int commEvent_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::string failureReason_;
    PortFault::Kind failureKind_ = PortFault::Kind::None;

    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE stop_ = nullptr;  // set to end the reader
    // Set with stop_: the reader looks at it between reads without a trip to the system.
    std::atomic<bool> stopping_{false};
    HANDLE write_ = nullptr;  // the event of the write in progress
    std::thread reader_;
    // Open, and not being opened or closed by the program: a failure is news to report.
    bool watching_ = false;
    // The port failed and the program has not heard of it yet.
    bool failurePending_ = false;
    // The message-window numbers of the reader's notices and of the failure event.
    UINT_PTR receivedNotice_ = 0;
    UINT_PTR failureNotice_ = 0;
    // Counts openings, so that a notice about an earlier opening is dropped.
    LPARAM opening_ = 0;
    // The opening the reader serves, fixed while it runs.
    LPARAM readerOpening_ = 0;

    // Shared with the reader thread.
    std::mutex mutex_;
    std::vector<std::uint8_t> arrived_;
    // The receive threshold and the bytes the user-interface thread holds (buffer_), as the
    // reader sees them: it wakes that thread only when the event is due or the port failed.
    int noticeThreshold_ = 0;
    std::size_t held_ = 0;
    bool noticePosted_ = false;
    DWORD readerError_ = ERROR_SUCCESS;
};

}  // namespace comflash::ui::win32
