#include "desktop/read_back_commands.h"

#include <string>
#include <utility>

#include "app/file_replacement.h"
#include "desktop/file_dialog.h"
#include "image/hex_writer.h"

namespace comflash::desktop {

using namespace image;

namespace {

constexpr std::string_view kSaveMode = "Save";
constexpr std::string_view kSaveTitle = "保存";
constexpr std::string_view kReadSucceededText = "读取成功";

}  // namespace

ReadBackCommands::ReadBackCommands(AppState& state, ui::Toolkit& toolkit,
                                   std::function<void()> showSessionWindow)
    : state_(state), toolkit_(toolkit), showSessionWindow_(std::move(showSessionWindow)) {}

void ReadBackCommands::onReadClicked() {
    state_.ImageEnd = kReadEnd;
    state_.ImageStart = kReadStart;
    state_.ReadMode = true;
    showSessionWindow_();
    if (state_.SessionSucceeded) show(kReadSucceededText, ui::Icon::Exclamation);
}

void ReadBackCommands::onSaveClicked() {
    const std::string path = ShowFileDialog(toolkit_, state_, kSaveMode, kSaveTitle, "");
    if (path.empty()) return;
    const std::string failure =
        app::ReplaceFileContents(path, ReadBackHexText(state_.FirmwareImage));
    if (!failure.empty()) show("Cannot save " + path + ": " + failure + ".", ui::Icon::Critical);
}

void ReadBackCommands::show(std::string_view text, ui::Icon icon) {
    toolkit_.showMessage(ui::MessageBox{std::string(text), state_.AppTitle, icon, ui::Buttons::Ok});
}

}  // namespace comflash::desktop
