// A window built from a catalogue entry, and the toolkit that makes windows, message boxes,
// file dialogs and pauses. Behaviour code receives a Toolkit and never sees which one it is.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/catalogue.h"
#include "ui/controls.h"

namespace comflash::ui {

class Window {
  public:
    virtual ~Window() = default;
    virtual const WindowEntry& entry() const = 0;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& text) = 0;

    // Loads the window (onLoad runs; it may unload the window again at once) and shows it
    // without waiting. Used for the main window.
    virtual void show() = 0;
    // Loads the window, shows it modally and returns once it has been unloaded. Timer and
    // serial events of every window keep arriving meanwhile.
    virtual void showModal() = 0;
    // Unloads the window: onUnload runs, the window disappears, a modal show returns.
    // Unloading a window that is not loaded does nothing.
    virtual void unload() = 0;
    virtual bool loaded() const = 0;

    // The controls named in the window's catalogue entry; asking for a name the entry does
    // not have, or with the wrong kind, is a programming error.
    virtual Button& button(std::string_view name) = 0;
    virtual Label& label(std::string_view name) = 0;
    virtual ProgressBar& progressBar(std::string_view name) = 0;
    virtual Timer& timer(std::string_view name) = 0;
    virtual FileList& fileList(std::string_view name) = 0;
    virtual ComboBox& comboBox(std::string_view name) = 0;
    virtual CommControl& comm(std::string_view name) = 0;

    Handler onLoad;
    // Runs whenever the window unloads: by the program or by the user's close box.
    Handler onUnload;
};

enum class Icon { None, Critical, Exclamation };
enum class Buttons { Ok, RetryCancel };
enum class Answer { Ok, Retry, Cancel };

struct MessageBox {
    std::string text;
    std::optional<std::string> title;  // none: the program's default title
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};

// The title a message box carries when it is given none of its own.
inline constexpr std::string_view kDefaultTitle = "comflash";

enum class FileDialogMode { Open, Save };

// One entry of a file dialog's type list: the text shown, and the pattern it stands for.
struct FileFilter {
    std::string name;
    std::string pattern;
};

struct FileDialogRequest {
    FileDialogMode mode = FileDialogMode::Save;
    std::string title;
    std::string initialName;          // empty: no name proposed
    std::vector<FileFilter> filters;  // the first is preselected
    std::string defaultSuffix;        // added to a name typed without one; empty: none
    bool confirmOverwrite = false;    // ask before an existing file is chosen to be replaced
    bool fileMustExist = false;       // only an existing file can be chosen
};

class Toolkit {
  public:
    virtual ~Toolkit() = default;
    virtual std::unique_ptr<Window> createWindow(const WindowEntry& entry) = 0;
    // Shows a modal message box; events keep arriving while it is open.
    virtual Answer showMessage(const MessageBox& box) = 0;
    // Blocks the user-interface thread; received bytes stay buffered meanwhile.
    virtual void sleep(int milliseconds) = 0;
    // Shows a modal file dialog with no owner window: the full path chosen, or none when the
    // user cancelled. Throws std::runtime_error when the dialog cannot be shown.
    virtual std::optional<std::string> showFileDialog(const FileDialogRequest& request) = 0;
    // The device that serial port number n ("COM"n) opens, as the user knows it (on Linux a
    // path); empty when the toolkit knows none.
    virtual std::string portDevice(int number) const = 0;
    // What the COM dialog's entry for port n shows as its tooltip: the device and what tells
    // it from the others (the USB adapter behind it); by default the device alone.
    virtual std::string portToolTip(int number) const { return portDevice(number); }
};

}  // namespace comflash::ui
