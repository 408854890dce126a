#include "cli/session_runner.h"

namespace comflash::cli {

ExitStatus exitStatusOf(desktop::UpdateResult result) {
    switch (result) {
        case desktop::UpdateResult::Succeeded:
            return kExitSucceeded;
        case desktop::UpdateResult::NotCompleted:
            return kExitFailed;
        case desktop::UpdateResult::OpenFailed:
        case desktop::UpdateResult::FaultyFile:
            break;
    }
    return kExitBadInput;
}

SessionRunner::SessionRunner(AppState& state, ui::Toolkit& toolkit)
    : state_(state),
      toolkit_(toolkit),
      window_(toolkit.createWindow(ui::kFormProcess)),
      session_(state, toolkit, *window_),
      update_(state, toolkit, unusedFileList_, std::string(), [this] { window_->showModal(); }),
      readBack_(state, toolkit, [this] { window_->showModal(); }) {}

desktop::UpdateResult SessionRunner::write(const std::string& path) {
    return update_.Update(path);
}

bool SessionRunner::read() {
    readBack_.onReadClicked();
    return state_.SessionSucceeded;
}

}  // namespace comflash::cli
