#include "cli/session_runner.h"

namespace comflash::cli {

namespace {

constexpr std::int32_t kReadStart = 0;
constexpr std::int32_t kReadEnd = 0x7FFF;

}  // namespace

ExitStatus exitStatusOf(image::UpdateResult result) {
    switch (result) {
        case image::UpdateResult::Succeeded:
            return kExitSucceeded;
        case image::UpdateResult::NotCompleted:
            return kExitFailed;
        case image::UpdateResult::OpenFailed:
        case image::UpdateResult::FaultyFile:
            break;
    }
    return kExitBadInput;
}

SessionRunner::SessionRunner(AppState& state, ui::Toolkit& toolkit)
    : state_(state),
      toolkit_(toolkit),
      window_(toolkit.createWindow(ui::kFormProcess)),
      session_(state, toolkit, *window_),
      update_(state, toolkit, unusedFileList_, std::string(), [this] { window_->showModal(); }) {}

image::UpdateResult SessionRunner::write(const std::string& path) {
    return update_.Update(path);
}

bool SessionRunner::read() {
    state_.ImageEnd = kReadEnd;
    state_.ImageStart = kReadStart;
    state_.ReadMode = true;
    window_->showModal();
    if (!state_.SessionSucceeded) return false;
    toolkit_.showMessage({"读取成功", state_.AppTitle, ui::Icon::Exclamation, ui::Buttons::Ok});
    return true;
}

}  // namespace comflash::cli
