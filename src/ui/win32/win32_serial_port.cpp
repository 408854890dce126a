#include "ui/win32/win32_serial_port.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "ui/win32/wide_text.h"

namespace comflash::ui::win32 {

namespace {

// The driver's buffers, as the windows' serial control has always asked for them.
constexpr DWORD kInputBuffer = 1024;
constexpr DWORD kOutputBuffer = 512;
// What one read takes at most after its first byte: what the input buffer holds at most.
constexpr DWORD kReadChunk = kInputBuffer;
// Cancelled reads in a row, with no byte in between, that mean the device has gone.
constexpr int kCancelledReads = 3;

BYTE toParity(char parity) {
    switch (parity) {
        case 'E':
            return EVENPARITY;
        case 'O':
            return ODDPARITY;
        case 'M':
            return MARKPARITY;
        case 'S':
            return SPACEPARITY;
        default:
            return NOPARITY;
    }
}

// Appends what the driver holds, at most `limit` bytes, to `into`: the bytes that followed a
// read's first one. The read asks for no more than the driver holds, so it ends at once
// whatever the read time-outs say. The error, or ERROR_SUCCESS.
DWORD readHeld(HANDLE port, HANDLE event, std::vector<std::uint8_t>& into, DWORD limit) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status)) return GetLastError();
    const DWORD wanted = std::min(status.cbInQue, limit);
    if (wanted == 0) return ERROR_SUCCESS;
    const std::size_t at = into.size();
    into.resize(at + wanted);
    OVERLAPPED overlapped{};
    // ReadFile clears the event as it starts.
    overlapped.hEvent = event;
    DWORD got = 0;
    DWORD error = ERROR_SUCCESS;
    if (!ReadFile(port, into.data() + at, wanted, &got, &overlapped)) {
        error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            error =
                GetOverlappedResult(port, &overlapped, &got, TRUE) ? ERROR_SUCCESS : GetLastError();
        }
    }
    into.resize(at + (error == ERROR_SUCCESS ? got : 0));
    return error;
}

}  // namespace

// A read of Reading::Loop in flight: the system owns it until its completion routine runs,
// which may be after the port closed (port is then null) or is gone.
struct Win32SerialPort::PendingRead {
    OVERLAPPED overlapped{};  // first, so that the completion routine finds the read
    Win32SerialPort* port = nullptr;
    std::uint8_t first = 0;
};

Win32SerialPort::Win32SerialPort(Reading reading, Notices& notices)
    : reading_(reading), notices_(notices) {
    receivedNotice_ = notices_.add([this](LPARAM opening) {
        if (opening == opening_) received();
    });
    failureNotice_ = notices_.add([this](LPARAM opening) {
        if (opening != opening_ || !std::exchange(failurePending_, false)) return;
        if (onFailed) onFailed();
    });
    write_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    rest_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Win32SerialPort::~Win32SerialPort() {
    close();
    notices_.remove(receivedNotice_);
    notices_.remove(failureNotice_);
    if (write_ != nullptr) CloseHandle(write_);
    if (rest_ != nullptr) CloseHandle(rest_);
}

std::wstring Win32SerialPort::deviceName(int number) {
    return L"\\\\.\\COM" + std::to_wstring(number);
}

bool Win32SerialPort::setLine(const LineSettings& line) {
    if (isOpen() && !apply(line)) return false;
    line_ = line;
    return true;
}

driver::Bytes Win32SerialPort::take() {
    {
        const std::lock_guard lock(mutex_);
        buffer_.insert(buffer_.end(), arrived_.begin(), arrived_.end());
        arrived_.clear();
        held_ = 0;
    }
    driver::Bytes taken;
    taken.swap(buffer_);
    return taken;
}

void Win32SerialPort::notifyAt(int count) {
    notifyAt_ = count;
    const std::lock_guard lock(mutex_);
    noticeThreshold_ = count;
}

bool Win32SerialPort::due() const {
    return notifyAt_ > 0 && buffer_.size() >= static_cast<std::size_t>(notifyAt_);
}

// The bytes have left for the driver before the call returns: a settings change or a pause
// may follow at once, and the bytes must go out at the rate they were meant for. A write the
// driver does not finish in time (its device no longer takes bytes) fails as well.
bool Win32SerialPort::send(std::span<const std::uint8_t> bytes) {
    if (!isOpen()) return false;
    OVERLAPPED overlapped{};
    // ReadFile and WriteFile clear their event as they start: one more call to clear it
    // would cost a trip to the system on every frame.
    overlapped.hEvent = write_;
    const auto size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(port_, bytes.data(), size, &written, &overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            fail(error);
            return false;
        }
        if (!GetOverlappedResult(port_, &overlapped, &written, TRUE)) {
            fail(GetLastError());
            return false;
        }
    }
    if (written != size) {
        fail(ERROR_TIMEOUT);
        return false;
    }
    return true;
}

// Opening never waits for the modem lines: CreateFileW on a serial device returns at once,
// with the device missing, busy (another program has it) or ready.
bool Win32SerialPort::open() {
    if (isOpen()) return true;
    buffer_.clear();
    failurePending_ = false;
    ++opening_;
    const std::string name = "COM" + std::to_string(number_);
    if (number_ < 1) {
        failure_ = {PortFault::Kind::NoDevice, name, "no port " + name};
        return false;
    }
    port_ = CreateFileW(deviceName(number_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        const bool refused = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        noteFailure(missing   ? PortFault::Kind::NotFound
                    : refused ? PortFault::Kind::Denied
                              : PortFault::Kind::Other,
                    error);
        return false;
    }
    // No read time-outs: a read ends when its bytes have arrived, and the port asks for no
    // more than one byte or what the driver holds. A write may take its bytes' time on the
    // line and a second more before it counts as failed.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetupComm(port_, kInputBuffer, kOutputBuffer);
    if (!SetCommTimeouts(port_, &timeouts) || !apply(line_)) {
        noteFailure(PortFault::Kind::Other, GetLastError());
        CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
        return false;
    }
    // Bytes the driver kept from before this opening are not part of this session.
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    {
        const std::lock_guard lock(mutex_);
        arrived_.clear();
        held_ = 0;
        noticePosted_ = false;
        readerError_ = ERROR_SUCCESS;
    }
    if (reading_ == Reading::Thread) {
        startReader();
    } else {
        cancelledReads_ = 0;
        if (const DWORD error = startRead(); error != ERROR_SUCCESS) {
            noteFailure(PortFault::Kind::Other, error);
            CloseHandle(port_);
            port_ = INVALID_HANDLE_VALUE;
            return false;
        }
    }
    failure_ = {};
    watching_ = true;
    return true;
}

void Win32SerialPort::close() {
    watching_ = false;
    failurePending_ = false;
    if (!isOpen()) return;
    ++opening_;
    stopReader();
    // The read's completion finds it cut loose from the port and takes nothing to anyone.
    if (pending_ != nullptr) {
        pending_->port = nullptr;
        CancelIoEx(port_, &pending_->overlapped);
        pending_ = nullptr;
    }
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    buffer_.clear();
    const std::lock_guard lock(mutex_);
    arrived_.clear();
    held_ = 0;
}

// No flow control, no character replacement, DTR raised while the port is open and RTS
// low: the line as the windows' serial control has always kept it.
bool Win32SerialPort::apply(const LineSettings& line) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port_, &dcb)) return false;
    dcb.BaudRate = static_cast<DWORD>(line.baud);
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = toParity(line.parity);
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity != 'N';
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(port_, &dcb) != FALSE;
}

void Win32SerialPort::noteFailure(PortFault::Kind kind, DWORD error) {
    failure_ = {kind, "COM" + std::to_string(number_), systemReason(error)};
}

// The port is closed at once: further output fails instead of vanishing. The failure event
// follows the notices already queued; it is dropped if the program closes, opens or unloads
// the port first, since it then concerns a port that is no longer there.
void Win32SerialPort::fail(DWORD error) {
    noteFailure(PortFault::Kind::Other, error);
    const bool report = watching_;
    close();
    if (!report) return;
    failurePending_ = true;
    notices_.post(failureNotice_, opening_);
}

void Win32SerialPort::startReader() {
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    stopping_ = false;
    readerOpening_ = opening_;
    reader_ = std::thread([this] { read(); });
}

void Win32SerialPort::stopReader() {
    if (!reader_.joinable()) return;
    stopping_ = true;
    SetEvent(stop_);
    reader_.join();
    CloseHandle(stop_);
    stop_ = nullptr;
}

// The reader thread. It waits for the first byte of whatever comes next with a read that
// ends when one byte has arrived, then takes what else the driver holds, and hands both over
// in one notice: every notice wakes the thread that uses the port, and a session wants whole
// answers, not their first byte. A read keeps waiting across settings changes, which cancel a
// pending WaitCommEvent on some drivers (Wine's); a device that goes away fails the read.
void Win32SerialPort::read() {
    OVERLAPPED reading{};
    reading.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE events[] = {reading.hEvent, stop_};
    int cancelled = 0;
    std::vector<std::uint8_t> chunk;
    chunk.reserve(1 + kReadChunk);
    for (;;) {
        std::uint8_t first = 0;
        DWORD got = 0;
        DWORD error = ERROR_SUCCESS;
        if (!ReadFile(port_, &first, 1, &got, &reading)) {
            error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    CancelIo(port_);
                    GetOverlappedResult(port_, &reading, &got, TRUE);
                    break;
                }
                error = GetOverlappedResult(port_, &reading, &got, FALSE) ? ERROR_SUCCESS
                                                                          : GetLastError();
            }
        }
        if (stopping_) break;
        // A read the driver cancelled once is made again; one that keeps being cancelled
        // with nothing arriving in between has lost its device.
        if (error == ERROR_OPERATION_ABORTED && ++cancelled < kCancelledReads) continue;
        // With no read time-outs a read ends only with its byte: none means the device has
        // gone (a hung-up line reads as its end).
        if (error == ERROR_SUCCESS && got == 0) error = ERROR_HANDLE_EOF;
        if (error != ERROR_SUCCESS) {
            readerFailed(error);
            break;
        }
        cancelled = 0;
        chunk.assign(1, first);
        error = readHeld(port_, reading.hEvent, chunk, kReadChunk);
        if (stopping_) break;
        arrive(chunk);
        if (error != ERROR_SUCCESS) {
            readerFailed(error);
            break;
        }
    }
    CloseHandle(reading.hEvent);
}

// Bytes below the threshold wait for the next ones: a frame's echo alone, for one, wakes no
// one, and the answer behind it raises the event with a single notice.
void Win32SerialPort::arrive(std::span<const std::uint8_t> bytes) {
    const std::lock_guard lock(mutex_);
    arrived_.insert(arrived_.end(), bytes.begin(), bytes.end());
    noticeIfDue();
}

void Win32SerialPort::noticeIfDue() {
    if (noticeThreshold_ <= 0 ||
        held_ + arrived_.size() < static_cast<std::size_t>(noticeThreshold_)) {
        return;
    }
    if (!std::exchange(noticePosted_, true)) {
        notices_.post(receivedNotice_, readerOpening_);
    }
}

void Win32SerialPort::readerFailed(DWORD error) {
    const std::lock_guard lock(mutex_);
    readerError_ = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
    if (!std::exchange(noticePosted_, true)) {
        notices_.post(receivedNotice_, readerOpening_);
    }
}

// The reader's notice, from the message loop, so that bytes arriving while a handler has a
// message box open raise the event again inside the box's loop. Bytes that arrived before a
// failure are delivered before the failure is.
void Win32SerialPort::received() {
    DWORD error = ERROR_SUCCESS;
    {
        const std::lock_guard lock(mutex_);
        noticePosted_ = false;
        error = readerError_;
        buffer_.insert(buffer_.end(), arrived_.begin(), arrived_.end());
        arrived_.clear();
        held_ = buffer_.size();
    }
    const LPARAM opening = opening_;
    if (due() && onReceived) onReceived();
    // A handler that closed the port, or opened it again, has left this failure behind.
    if (error != ERROR_SUCCESS && opening == opening_ && watching_) fail(error);
}

DWORD Win32SerialPort::startRead() {
    auto read = std::make_unique<PendingRead>();
    read->port = this;
    if (!ReadFileEx(port_, &read->first, 1, &read->overlapped, &Win32SerialPort::readCompleted)) {
        return GetLastError();
    }
    pending_ = read.release();
    return ERROR_SUCCESS;
}

void CALLBACK Win32SerialPort::readCompleted(DWORD error, DWORD got, OVERLAPPED* overlapped) {
    const std::unique_ptr<PendingRead> read(reinterpret_cast<PendingRead*>(overlapped));
    if (read->port != nullptr) read->port->readEnded(error, got, read->first);
}

// A read of Reading::Loop ended, on the thread that uses the port: the bytes that followed its
// first join it and onReceived runs when due, before the next read starts: starting a read is a
// trip to the system that the session's next frame need not wait for (the driver keeps what
// comes meanwhile). A handler that closed the port, or opened it again, has taken over.
void Win32SerialPort::readEnded(DWORD error, DWORD got, std::uint8_t first) {
    pending_ = nullptr;
    if (error == ERROR_OPERATION_ABORTED && ++cancelledReads_ < kCancelledReads) {
        error = startRead();
    } else if (error == ERROR_SUCCESS && got == 0) {
        error = ERROR_HANDLE_EOF;
    } else if (error == ERROR_SUCCESS) {
        cancelledReads_ = 0;
        buffer_.push_back(first);
        error = readHeld(port_, rest_, buffer_, kReadChunk);
        const LPARAM opening = opening_;
        if (due() && onReceived) onReceived();
        if (opening != opening_) return;
        if (error == ERROR_SUCCESS) error = startRead();
    }
    if (error != ERROR_SUCCESS && watching_) fail(error);
}

}  // namespace comflash::ui::win32
