#include "ui/win32/win32_comm.h"

#include <algorithm>
#include <utility>

#include "ui/win32/message_window.h"
#include "ui/win32/wide_text.h"

namespace comflash::ui::win32 {

namespace {

// The control's settings until the program changes them.
constexpr const char* kInitialSettings = "9600,n,8,1";
// The driver's buffers, as the control asks for them.
constexpr DWORD kInputBuffer = 1024;
constexpr DWORD kOutputBuffer = 512;
// The reader's portion: what the input buffer holds at most.
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

}  // namespace

Win32Comm::Win32Comm() {
    auto& messages = MessageWindow::instance();
    receivedNotice_ = messages.add([this](LPARAM opening) {
        if (opening == opening_) received();
    });
    failureNotice_ = messages.add([this](LPARAM opening) {
        if (opening != opening_ || !std::exchange(failurePending_, false)) return;
        commEvent_ = kEventPortFailed;
        if (onComm) onComm();
    });
    write_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    load();
}

Win32Comm::~Win32Comm() {
    close();
    MessageWindow::instance().remove(receivedNotice_);
    MessageWindow::instance().remove(failureNotice_);
    if (write_ != nullptr) CloseHandle(write_);
}

std::wstring Win32Comm::deviceName(int number) {
    return L"\\\\.\\COM" + std::to_wstring(number);
}

bool Win32Comm::setSettings(const std::string& settings) {
    const auto line = parseLineSettings(settings);
    if (!line || (portOpen() && !apply(*line))) return false;
    settings_ = settings;
    line_ = *line;
    return true;
}

bool Win32Comm::setPortOpen(bool open) {
    if (!open) {
        close();
        return true;
    }
    return portOpen() || this->open();
}

std::vector<std::uint8_t> Win32Comm::input() {
    const std::lock_guard lock(mutex_);
    buffer_.insert(buffer_.end(), arrived_.begin(), arrived_.end());
    arrived_.clear();
    held_ = 0;
    std::vector<std::uint8_t> taken;
    taken.swap(buffer_);
    return taken;
}

// As with the other controls, the event comes with arriving bytes: a new threshold that
// the bytes already held reach raises nothing until the next byte.
void Win32Comm::setRThreshold(int count) {
    rThreshold_ = count;
    const std::lock_guard lock(mutex_);
    noticeThreshold_ = count;
}

// The bytes have left for the driver before the call returns: a settings change or a pause
// may follow at once, and the bytes must go out at the rate they were meant for. A write the
// driver does not finish in time (its device no longer takes bytes) fails as well.
bool Win32Comm::output(std::span<const std::uint8_t> bytes) {
    if (!portOpen()) return false;
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

void Win32Comm::load() {
    close();
    commPort_ = 1;
    settings_ = kInitialSettings;
    line_ = *parseLineSettings(settings_);
    inputMode_ = kInputModeText;
    setRThreshold(0);
    commEvent_ = 0;
}

void Win32Comm::unload() {
    close();
}

// Opening never waits for the modem lines: CreateFileW on a serial device returns at once,
// with the device missing, busy (another program has it) or ready.
bool Win32Comm::open() {
    buffer_.clear();
    failurePending_ = false;
    ++opening_;
    if (commPort_ < 1) {
        failureReason_ = "no port COM" + std::to_string(commPort_);
        failureKind_ = PortFault::Kind::NoDevice;
        return false;
    }
    port_ = CreateFileW(deviceName(commPort_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
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
    // No read time-outs: a read ends when its bytes have arrived, and the reader asks for no
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
    failureReason_.clear();
    failureKind_ = PortFault::Kind::None;
    {
        const std::lock_guard lock(mutex_);
        arrived_.clear();
        held_ = 0;
        noticePosted_ = false;
        readerError_ = ERROR_SUCCESS;
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    stopping_ = false;
    readerOpening_ = opening_;
    reader_ = std::thread([this] { read(); });
    watching_ = true;
    return true;
}

void Win32Comm::close() {
    watching_ = false;
    failurePending_ = false;
    if (port_ == INVALID_HANDLE_VALUE) return;
    ++opening_;
    stopping_ = true;
    SetEvent(stop_);
    if (reader_.joinable()) reader_.join();
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    CloseHandle(port_);
    CloseHandle(stop_);
    port_ = INVALID_HANDLE_VALUE;
    stop_ = nullptr;
    buffer_.clear();
    held_ = 0;
}

// No flow control, no character replacement, DTR raised while the port is open and RTS
// low: the line as the control keeps it.
bool Win32Comm::apply(const LineSettings& line) {
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

void Win32Comm::noteFailure(PortFault::Kind kind, DWORD error) {
    failureKind_ = kind;
    failureReason_ = systemReason(error);
}

PortFault Win32Comm::lastFailure() const {
    if (failureKind_ == PortFault::Kind::None) return {};
    return {failureKind_, "COM" + std::to_string(commPort_), failureReason_};
}

void Win32Comm::takeReceived() {
    const std::lock_guard lock(mutex_);
    buffer_.insert(buffer_.end(), arrived_.begin(), arrived_.end());
    arrived_.clear();
    held_ = buffer_.size();
}

// Runs on the user-interface thread, from the message loop, so that bytes arriving while a
// handler has a message box open raise the event again inside the box's loop. Bytes that
// arrived before a failure are delivered before the failure is.
void Win32Comm::received() {
    DWORD error = ERROR_SUCCESS;
    {
        const std::lock_guard lock(mutex_);
        noticePosted_ = false;
        error = readerError_;
    }
    takeReceived();
    if (rThreshold_ > 0 && buffer_.size() >= static_cast<std::size_t>(rThreshold_)) {
        commEvent_ = kEventReceive;
        if (onComm) onComm();
    }
    if (error != ERROR_SUCCESS && watching_) fail(error);
}

// The port is closed at once: further output fails instead of vanishing. The failure event
// follows the notices already queued; it is dropped if the program closes, opens or unloads
// the port first, since it then concerns a port that is no longer there.
void Win32Comm::fail(DWORD error) {
    noteFailure(PortFault::Kind::Other, error);
    const bool report = watching_;
    close();
    if (!report) return;
    failurePending_ = true;
    MessageWindow::instance().post(failureNotice_, opening_);
}

// The reader thread. It waits for the first byte of whatever comes next with a read that
// ends when one byte has arrived, then takes what else the driver holds, and hands both over
// in one notice: every notice wakes the user-interface thread, and a session wants whole
// answers, not their first byte. A read keeps waiting across settings changes, which cancel a
// pending WaitCommEvent on some drivers (Wine's); a device that goes away fails the read.
void Win32Comm::read() {
    OVERLAPPED reading{};
    reading.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE events[] = {reading.hEvent, stop_};
    int cancelled = 0;
    std::vector<std::uint8_t> chunk(1 + kReadChunk);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(port_, chunk.data(), 1, &got, &reading)) {
            DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    CancelIo(port_);
                    GetOverlappedResult(port_, &reading, &got, TRUE);
                    break;
                }
                error = GetOverlappedResult(port_, &reading, &got, FALSE) ? ERROR_SUCCESS
                                                                          : GetLastError();
            }
            if (stopping_) break;
            // A read the driver cancelled once is made again; one that keeps being cancelled
            // with nothing arriving in between has lost its device.
            if (error == ERROR_OPERATION_ABORTED && ++cancelled < kCancelledReads) continue;
            if (error != ERROR_SUCCESS) {
                readerFailed(error);
                break;
            }
        }
        // With no read time-outs a read ends only with its byte: none means the device
        // has gone (a hung-up line reads as its end).
        if (got == 0) {
            readerFailed(ERROR_HANDLE_EOF);
            break;
        }
        cancelled = 0;
        const DWORD more = buffered(reading, std::span(chunk).subspan(1));
        if (more == kFailed) break;
        arrive(chunk.data(), 1 + more);
    }
    CloseHandle(reading.hEvent);
}

// Takes what the driver holds, as much as fits: the count, or kFailed when the port failed
// or is being closed. The read asks for no more than the driver holds, so it ends at once
// whatever the read time-outs do. Bytes that arrive meanwhile are the next read's.
DWORD Win32Comm::buffered(OVERLAPPED& overlapped, std::span<std::uint8_t> into) {
    if (stopping_) return kFailed;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_, &errors, &status)) {
        readerFailed(GetLastError());
        return kFailed;
    }
    if (status.cbInQue == 0) return 0;
    const DWORD wanted = std::min<DWORD>(status.cbInQue, static_cast<DWORD>(into.size()));
    DWORD got = 0;
    if (!ReadFile(port_, into.data(), wanted, &got, &overlapped) &&
        (GetLastError() != ERROR_IO_PENDING ||
         !GetOverlappedResult(port_, &overlapped, &got, TRUE))) {
        readerFailed(GetLastError());
        return kFailed;
    }
    return got;
}

// Bytes below the threshold wait for the next ones: a frame's echo alone, for one, wakes no
// one, and the answer behind it raises the event with a single notice.
void Win32Comm::arrive(const std::uint8_t* bytes, DWORD count) {
    const std::lock_guard lock(mutex_);
    arrived_.insert(arrived_.end(), bytes, bytes + count);
    noticeIfDue();
}

void Win32Comm::noticeIfDue() {
    if (noticeThreshold_ <= 0 ||
        held_ + arrived_.size() < static_cast<std::size_t>(noticeThreshold_)) {
        return;
    }
    if (!std::exchange(noticePosted_, true)) {
        MessageWindow::instance().post(receivedNotice_, readerOpening_);
    }
}

void Win32Comm::readerFailed(DWORD error) {
    const std::lock_guard lock(mutex_);
    readerError_ = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
    if (!std::exchange(noticePosted_, true)) {
        MessageWindow::instance().post(receivedNotice_, readerOpening_);
    }
}

}  // namespace comflash::ui::win32
