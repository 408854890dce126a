#include "desktop/update_command.h"

#include <algorithm>
#include <fstream>
#include <utility>

#include "app/system_text.h"
#include "image/firmware_image.h"
#include "image/firmware_version.h"
#include "image/hex_loader.h"
#include "session/messages.h"

namespace comflash::desktop {

using namespace image;

namespace {

constexpr std::string_view kFirmwarePattern = "*.hex";
// The file loaded when all six TempFile names are present.
constexpr std::string_view kPreferredFile = kTempFileNames[0];
constexpr char kPathSeparator = '/';

constexpr std::string_view kNoFirmwareFileText = "无升级文件";
constexpr std::string_view kOpenFailedText = "打开文件错误";
constexpr std::string_view kFaultyFileText = "文档有误";

}  // namespace

UpdateCommand::UpdateCommand(AppState& state, ui::Toolkit& toolkit, ui::FileList& file1,
                             std::string programFolder, std::function<void()> showSessionWindow)
    : state_(state),
      toolkit_(toolkit),
      file1_(file1),
      programFolder_(std::move(programFolder)),
      showSessionWindow_(std::move(showSessionWindow)),
      reader_(state) {}

void UpdateCommand::onUpdateClicked() {
    const std::string path = chooseFirmwarePath();
    if (path.empty()) {
        // Even a click that finds no file leaves the fill pattern behind.
        FillFirmwareImage(state_.FirmwareImage);
        show(kNoFirmwareFileText, ui::Icon::Critical, std::nullopt);
        return;
    }
    Update(path);
}

UpdateResult UpdateCommand::Update(const std::string& path) {
    if (const auto failure = Load(path)) return *failure;
    state_.UpdateMode = true;
    showSessionWindow_();
    if (!state_.SessionSucceeded) return UpdateResult::NotCompleted;
    show(session::kSucceededText, ui::Icon::Exclamation, state_.AppTitle);
    return UpdateResult::Succeeded;
}

std::optional<UpdateResult> UpdateCommand::Load(const std::string& path) {
    // The fill comes first, so that even a file that cannot be used leaves the pattern behind.
    FillFirmwareImage(state_.FirmwareImage);

    std::ifstream file(app::pathFromUtf8(path), std::ios::binary);
    if (!file.is_open()) {
        show(kOpenFailedText, ui::Icon::Critical, std::nullopt);
        return UpdateResult::OpenFailed;
    }
    const LoadResult result = LoadHexFile(file, reader_);
    file.close();
    if (result != LoadResult::Loaded) {
        show(kFaultyFileText, ui::Icon::None, state_.AppTitle);
        return UpdateResult::FaultyFile;
    }

    const FirmwareVersion version = VersionFromPath(path);
    if (version.major) state_.FirmwareMajor = *version.major;
    if (version.minor) state_.FirmwareMinor = *version.minor;
    return std::nullopt;
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

void UpdateCommand::show(std::string_view text, ui::Icon icon, std::optional<std::string> title) {
    toolkit_.showMessage(
        ui::MessageBox{std::string(text), std::move(title), icon, ui::Buttons::Ok});
}

}  // namespace comflash::desktop
