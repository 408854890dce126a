#include "image/update_command.h"

#include <algorithm>
#include <fstream>
#include <utility>

#include "image/firmware_image.h"
#include "image/firmware_version.h"
#include "image/hex_loader.h"

namespace comflash::image {

namespace {

constexpr std::string_view kFirmwarePattern = "*.hex";
constexpr std::string_view kPreferredFile = "TempFile_1.03.hex";
constexpr char kPathSeparator = '/';

}  // namespace

UpdateCommand::UpdateCommand(AppState& state, ui::Toolkit& toolkit, ui::FileList& file1,
                             std::string programFolder, std::function<void()> showSessionWindow)
    : state_(state),
      toolkit_(toolkit),
      file1_(file1),
      programFolder_(std::move(programFolder)),
      showSessionWindow_(std::move(showSessionWindow)),
      reader_(state) {}

void UpdateCommand::Command1_Click() {
    // The fill comes first, so that even a click that finds no usable file leaves the
    // pattern behind.
    FillFirmwareImage(state_.FirmwareImage);

    const std::string path = chooseFirmwarePath();
    if (path.empty()) {
        show(kNoFirmwareFileText, ui::Icon::Critical, false);
        return;
    }

    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        show(kOpenFailedText, ui::Icon::Critical, false);
        return;
    }
    const LoadResult result = LoadHexFile(file, reader_);
    file.close();
    if (result != LoadResult::Loaded) {
        show(kFaultyFileText, ui::Icon::None, true);
        return;
    }

    const FirmwareVersion version = VersionFromPath(path);
    if (version.major) state_.FirmwareMajor = *version.major;
    if (version.minor) state_.FirmwareMinor = *version.minor;

    state_.UpdateMode = true;
    showSessionWindow_();
    if (state_.SessionSucceeded) show(kSucceededText, ui::Icon::Exclamation, true);
}

std::string UpdateCommand::chooseFirmwarePath() {
    file1_.setPath(programFolder_);
    file1_.setPattern(std::string(kFirmwarePattern));
    const int count = file1_.listCount();
    if (count == 0) return {};

    int tempFiles = 0;
    for (int index = 0; index < count; ++index) {
        const std::string name = file1_.list(index);
        if (std::find(kTempFileNames.begin(), kTempFileNames.end(), name) != kTempFileNames.end()) {
            ++tempFiles;
        }
    }
    const std::string name = tempFiles == static_cast<int>(kTempFileNames.size())
                                 ? std::string(kPreferredFile)
                                 : file1_.list(0);
    return programFolder_ + kPathSeparator + name;
}

void UpdateCommand::show(std::string_view text, ui::Icon icon, bool withAppTitle) {
    ui::MessageBox box;
    box.text = std::string(text);
    if (withAppTitle) box.title = state_.AppTitle;
    box.icon = icon;
    box.buttons = ui::Buttons::Ok;
    toolkit_.showMessage(box);
}

}  // namespace comflash::image
