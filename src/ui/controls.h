// The control layer: the small set of controls the three windows are built from.
// Behaviour code talks only to these interfaces; the Qt toolkit backs them with widgets,
// the headless toolkit with plain values and a virtual clock.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/port_fault.h"

namespace comflash::ui {

class LinePort;

using Handler = std::function<void()>;

class Button {
  public:
    virtual ~Button() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
    virtual bool visible() const = 0;
    // Raised on a click the user could actually make: the button is visible and its window
    // is not blocked by a modal window.
    Handler onClick;
};

class Label {
  public:
    virtual ~Label() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;
};

// Range is the fraction 0 to 1.
class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    virtual double value() const = 0;
    virtual void setValue(double fraction) = 0;
};

// Ticks every interval milliseconds while enabled and the interval is above 0.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual int interval() const = 0;
    virtual void setInterval(int milliseconds) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool on) = 0;
    Handler onTimer;
};

// The names of the files in one folder that match a pattern, ascending by name.
class FileList {
  public:
    virtual ~FileList() = default;
    virtual std::string path() const = 0;
    virtual void setPath(const std::string& folder) = 0;
    virtual std::string pattern() const = 0;
    virtual void setPattern(const std::string& pattern) = 0;
    virtual int listCount() const = 0;
    virtual std::string list(int index) const = 0;
};

// A list-style drop-down: the user picks one entry and cannot type.
class ComboBox {
  public:
    virtual ~ComboBox() = default;
    virtual void addItem(const std::string& text) = 0;
    // A hint shown while the pointer rests on the entry; the entry's text stays as it is.
    virtual void setItemToolTip(int index, const std::string& text) = 0;
    virtual int listCount() const = 0;
    virtual std::string list(int index) const = 0;
    // -1 selects nothing.
    virtual int listIndex() const = 0;
    virtual void setListIndex(int index) = 0;
    // The selected entry's text, or the empty text when nothing is selected.
    virtual std::string text() const = 0;
};

// A serial port control with the members the port dialog and the session use.
class CommControl {
  public:
    static constexpr int kEventReceive = 2;  // CommEvent value: data received
    // CommEvent value: the port failed while open (its device went away, a write or a read
    // failed). The control has closed the port by the time onComm runs.
    static constexpr int kEventPortFailed = 1099;
    static constexpr int kInputModeText = 0;
    static constexpr int kInputModeBinary = 1;

    virtual ~CommControl() = default;
    virtual int commPort() const = 0;
    virtual void setCommPort(int number) = 0;
    // "9600,N,8,1" and the like.
    virtual std::string settings() const = 0;
    // False when the settings cannot be applied.
    virtual bool setSettings(const std::string& settings) = 0;
    virtual bool portOpen() const = 0;
    // False when the port cannot be opened (missing, busy, bad number). Opening does not wait
    // for the modem lines: it succeeds or fails at once. Closing always succeeds.
    virtual bool setPortOpen(bool open) = 0;
    virtual int inputMode() const = 0;
    virtual void setInputMode(int mode) = 0;
    virtual int rThreshold() const = 0;
    // 0 raises no receive events; n raises one whenever at least n bytes are buffered.
    virtual void setRThreshold(int count) = 0;
    // Takes every buffered byte; the buffer is empty afterwards.
    virtual std::vector<std::uint8_t> input() = 0;
    // False when the bytes cannot be sent (port closed or failed); a failed port is closed.
    virtual bool output(std::span<const std::uint8_t> bytes) = 0;
    virtual int commEvent() const = 0;
    // Why the port last failed to open, or failed while open; Kind::None since it opened.
    virtual PortFault lastFailure() const = 0;
    // The port beneath, for a session's driver (which then takes its events).
    virtual LinePort& port() = 0;
    Handler onComm;
};

}  // namespace comflash::ui
