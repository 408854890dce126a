// The Update button of the main window: prepares the image, loads the firmware file from the
// program's folder, takes its version from the file name and runs the update session.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "image/hex_reader.h"
#include "ui/controls.h"
#include "ui/window.h"

namespace comflash::desktop {

// The names that, when all six are present, make the first of them, "TempFile_1.03.hex",
// the firmware file whatever else the folder holds. Compared exactly, letter case included.
inline constexpr std::array<std::string_view, 6> kTempFileNames = {
    "TempFile_1.03.hex", "TempFile_1.00.hex", "TempFile_1.01.hex",
    "TempFile_1.02.hex", "TempFile_1.04.hex", "TempFile_1.05.hex",
};

// How an update from a given file ended.
enum class UpdateResult {
    OpenFailed,    // "打开文件错误": the file could not be opened
    FaultyFile,    // "文档有误": a line was refused or could not be read; nothing was sent
    NotCompleted,  // the session ended without the device accepting the go frame
    Succeeded,     // "Successful"
};

class UpdateCommand {
  public:
    // file1 is the main window's hidden file list; programFolder the folder of the program's
    // executable; showSessionWindow shows the session window modally and returns after it
    // has closed.
    UpdateCommand(AppState& state, ui::Toolkit& toolkit, ui::FileList& file1,
                  std::string programFolder, std::function<void()> showSessionWindow);

    void onUpdateClicked();
    // Everything the click does once the file is chosen: fills the image, loads the file,
    // takes the version from its name and runs the session, with the same messages.
    UpdateResult Update(const std::string& path);
    // The first half of Update: fills the image, loads the file and takes its version, with
    // the same messages. None when the image is ready for a session (UpdateMode is not set);
    // else how the file failed.
    std::optional<UpdateResult> Load(const std::string& path);

  private:
    // The firmware file's path, or the empty text when the folder holds no "*.hex" file.
    // Unless all six TempFile names are there, it is file1's first entry: with the main
    // window's list, the first name in ascending order with ASCII letter case folded
    // ("a.hex" before "B.hex"), names equal but for case in byte order.
    std::string chooseFirmwarePath();
    // A title of std::nullopt leaves the box the program's default title.
    void show(std::string_view text, ui::Icon icon, std::optional<std::string> title);

    AppState& state_;
    ui::Toolkit& toolkit_;
    ui::FileList& file1_;
    std::string programFolder_;
    std::function<void()> showSessionWindow_;
    image::HexReader reader_;
};

}  // namespace comflash::desktop
