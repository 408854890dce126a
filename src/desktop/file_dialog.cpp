#include "desktop/file_dialog.h"

#include <exception>
#include <optional>

#include "settings/ascii_case.h"

namespace comflash::desktop {

using namespace settings;

namespace {

constexpr std::string_view kOpenMode = "OPEN";
constexpr std::string_view kHexSuffix = "hex";

ui::FileDialogRequest makeRequest(bool open, std::string_view title, std::string_view initialName) {
    ui::FileDialogRequest request;
    request.mode = open ? ui::FileDialogMode::Open : ui::FileDialogMode::Save;
    request.title = std::string(title);
    request.initialName = std::string(initialName);
    request.filters = {{std::string(kHexFilesFilter), "*.hex"},
                       {std::string(kAllFilesFilter), "*.*"}};
    request.defaultSuffix = open ? std::string() : std::string(kHexSuffix);
    request.confirmOverwrite = !open;
    request.fileMustExist = open;
    return request;
}

}  // namespace

std::string ShowFileDialog(ui::Toolkit& toolkit, const AppState& state, std::string_view mode,
                           std::string_view title, std::string_view initialName) {
    const bool open = settings::sameName(mode, kOpenMode);
    try {
        return toolkit.showFileDialog(makeRequest(open, title, initialName)).value_or("");
    } catch (const std::exception&) {
        toolkit.showMessage(ui::MessageBox{std::string(kDialogFailedText), state.AppTitle,
                                           ui::Icon::Critical, ui::Buttons::Ok});
        return {};
    }
}

}  // namespace comflash::desktop
