// A serial port as the driver uses it: open it, set its rate, send bytes, be told once enough
// bytes have arrived, take them all, and be told when it fails. Each toolkit implements it
// over its own ports: Qt's, Win32's, and the headless twin's in virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "app/port_fault.h"

namespace comflash::driver {

using Bytes = std::vector<std::uint8_t>;

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the device the port stands for, at the rate set last, 8 data bits, no parity,
    // 1 stop bit. Never waits for the modem lines. False when it cannot be opened; fault()
    // says why. Opening an open port does nothing and succeeds.
    virtual bool open() = 0;
    // Closing a closed port does nothing. A port closed by the program reports no failure.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The line's rate: at once on an open port, else from the next opening. False when the
    // open port refuses it.
    virtual bool setRate(int baud) = 0;
    // Hands the bytes to the driver before it returns. False when they cannot be sent; a
    // port that failed so is closed, and fault() says why.
    virtual bool send(std::span<const std::uint8_t> bytes) = 0;
    // Every byte received and not taken yet; none are held afterwards.
    virtual Bytes take() = 0;
    // onReceived runs whenever bytes arrive and at least `count` are held; 0: never.
    virtual void notifyAt(int count) = 0;
    // Why the port last failed to open, or failed while open; Kind::None since it opened.
    virtual PortFault fault() const = 0;

    std::function<void()> onReceived;
    // The open port failed (its device went away, a read or write failed) and is closed.
    // Bytes received before the failure are handed over first.
    std::function<void()> onFailed;
};

// A one-shot timer on the thread that runs the session.
class Timer {
  public:
    virtual ~Timer() = default;
    // onExpired runs once, `milliseconds` from now; starting it again moves that moment.
    virtual void start(int milliseconds) = 0;
    virtual void stop() = 0;

    std::function<void()> onExpired;
};

}  // namespace comflash::driver
