// A serial port over a Win32 communications port, \\.\COMn, opened for overlapped I/O.
// Received bytes are held until taken; whenever bytes arrive and at least the count asked for
// are held, onReceived runs on the thread that uses the port. Writes end when the driver has
// taken the bytes. A write that fails, or a device that goes away, closes the port and raises
// onFailed once, after the bytes received before it; fault() then holds the system's words.
//
// How the bytes reach the thread that uses the port:
// - Reading::Thread: a reader thread of the port's own waits in an overlapped read and posts a
//   notice to the thread's loop, so that every loop delivers the bytes (with the message
//   window's notices, a message box's own too). The windows read so.
// - Reading::Loop: the thread that uses the port reads it itself, with reads whose completion
//   runs in that thread's alertable waits (its loop waits so): no thread and no notice between
//   the device and the session. For a program whose loops are all its own (the command line);
//   a port read so delivers nothing while the thread waits anywhere else.
// Its failure, and the reader's bytes, come as notices of `notices`, which belong to the thread
// that uses the port.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "ui/port_control.h"
#include "ui/win32/notices.h"

namespace comflash::ui::win32 {

class Win32SerialPort final : public LinePort {
  public:
    enum class Reading { Thread, Loop };

    Win32SerialPort(Reading reading, Notices& notices);
    // Closes the port while the handlers wired to it are still whole.
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    void setNumber(int number) override { number_ = number; }
    int number() const override { return number_; }
    bool setLine(const LineSettings& line) override;
    bool open() override;
    // A read in flight is cancelled; what it still brings reaches no one, nor a later opening.
    void close() override;
    bool isOpen() const override { return port_ != INVALID_HANDLE_VALUE; }
    bool send(std::span<const std::uint8_t> bytes) override;
    driver::Bytes take() override;
    // As with the other ports, onReceived comes with arriving bytes: a new count that the
    // bytes already held reach raises nothing until the next byte.
    void notifyAt(int count) override;
    PortFault fault() const override { return failure_; }

    // The name CreateFileW opens for COMn: the device namespace's, so that COM10 and above
    // open as well as COM1 to COM9.
    static std::wstring deviceName(int number);

  private:
    struct PendingRead;

    bool apply(const LineSettings& line);
    void noteFailure(PortFault::Kind kind, DWORD error);
    void fail(DWORD error);
    bool due() const;

    // Reading::Thread
    void startReader();
    void stopReader();
    void read();
    void arrive(std::span<const std::uint8_t> bytes);
    void noticeIfDue();
    void readerFailed(DWORD error);
    void received();

    // Reading::Loop
    DWORD startRead();
    void readEnded(DWORD error, DWORD got, std::uint8_t first);
    static void CALLBACK readCompleted(DWORD error, DWORD got, OVERLAPPED* overlapped);

    const Reading reading_;
    Notices& notices_;
    int number_ = 1;
    LineSettings line_;
    int notifyAt_ = 0;
    std::vector<std::uint8_t> buffer_;  // the bytes the using thread holds
    PortFault failure_;

    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE write_ = nullptr;  // the event of the write in progress
    // Open, and not being opened or closed by the program: a failure is news to report.
    bool watching_ = false;
    // The port failed and the program has not heard of it yet.
    bool failurePending_ = false;
    // The message-window numbers of the reader's notices and of the failure event.
    UINT_PTR receivedNotice_ = 0;
    UINT_PTR failureNotice_ = 0;
    // Counts openings, so that a notice about an earlier opening is dropped.
    LPARAM opening_ = 0;

    // Reading::Thread: the reader, and what it shares with the thread that uses the port.
    HANDLE stop_ = nullptr;  // set to end the reader
    // Set with stop_: the reader looks at it between reads without a trip to the system.
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    LPARAM readerOpening_ = 0;  // the opening the reader serves, fixed while it runs
    std::mutex mutex_;
    std::vector<std::uint8_t> arrived_;
    // The count asked for and the bytes the using thread holds (buffer_), as the reader sees
    // them: it wakes that thread only when onReceived is due or the port failed.
    int noticeThreshold_ = 0;
    std::size_t held_ = 0;
    bool noticePosted_ = false;
    DWORD readerError_ = ERROR_SUCCESS;

    // Reading::Loop: the read in flight, and the reads the driver cancelled in a row.
    PendingRead* pending_ = nullptr;
    int cancelledReads_ = 0;
    HANDLE rest_ = nullptr;  // the event of the read that takes what followed a read's byte
};

}  // namespace comflash::ui::win32
