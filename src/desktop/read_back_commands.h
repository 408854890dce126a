// The main window's Read and Save buttons: read the device's lower 32 KiB into the firmware
// image through a read session, and save that part of the image as an Intel HEX file. Both
// buttons stay hidden; nothing in the window shows them.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/app_state.h"
#include "ui/window.h"

namespace comflash::desktop {

// The device's readable range, read into the image at the same indices.
inline constexpr std::int32_t kReadStart = 0x0000;
inline constexpr std::int32_t kReadEnd = 0x7FFF;

class ReadBackCommands {
  public:
    // showSessionWindow shows the session window modally and returns after it has closed.
    ReadBackCommands(AppState& state, ui::Toolkit& toolkit,
                     std::function<void()> showSessionWindow);

    // Runs a read session. Image indices the device does not deliver keep what they held.
    void onReadClicked();
    // Asks for a file and writes indices 0 to 0x7FFF of the image into it, whatever they
    // hold. The file is replaced only by a complete save; a failed one is reported and leaves
    // it as it was.
    void onSaveClicked();

  private:
    void show(std::string_view text, ui::Icon icon);

    AppState& state_;
    ui::Toolkit& toolkit_;
    std::function<void()> showSessionWindow_;
};

}  // namespace comflash::desktop
