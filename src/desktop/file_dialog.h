// The file dialog through which the Save command asks where the image goes. It offers the
// firmware file type first and every file second; in save mode a name typed without a suffix
// gets ".hex", and choosing an existing file asks before it is replaced.
#pragma once

#include <string>
#include <string_view>

#include "app/app_state.h"
#include "ui/window.h"

namespace comflash::desktop {

inline constexpr std::string_view kHexFilesFilter = "烧录文件(*.hex)";
inline constexpr std::string_view kAllFilesFilter = "所有文件(*.*)";
inline constexpr std::string_view kDialogFailedText = "未知原因导致操作失败！";

// The open dialog when mode, upper-cased, is "OPEN" (only an existing file can be chosen),
// the save dialog for any other mode. Returns the full path chosen, or the empty text when the
// user cancelled. A dialog that cannot be shown is reported in a message box titled AppTitle
// and gives the empty text too.
std::string ShowFileDialog(ui::Toolkit& toolkit, const AppState& state, std::string_view mode,
                           std::string_view title, std::string_view initialName);

}  // namespace comflash::desktop
