#include "desktop/main_window.h"

#include "app/config_file.h"
#include "app/conversions.h"
#include "app/startup_config.h"

namespace comflash::desktop {

using namespace app;

namespace {}  // namespace

MainWindow::MainWindow(AppState& state, ui::Toolkit& toolkit, settings::RegistryStore& store,
                       std::string programFolder)
    : state_(state),
      toolkit_(toolkit),
      store_(store),
      programFolder_(std::move(programFolder)),
      window_(toolkit.createWindow(ui::kForm1)),
      update_(state, toolkit, window_->fileList("File1"), programFolder_,
              [this] { showSessionWindow(); }),
      readBack_(state, toolkit, [this] { showSessionWindow(); }) {
    window_->onLoad = [this] { onLoad(); };
    window_->button("Command1").onClick = [this] { update_.onUpdateClicked(); };
    window_->button("CommandCom").onClick = [this] { onPortButtonClicked(); };
    window_->button("CommandRead").onClick = [this] { onReadClicked(); };
    window_->button("CommandSave").onClick = [this] { onSaveClicked(); };
}

bool MainWindow::show() {
    window_->show();
    return window_->loaded();
}

void MainWindow::fail(const std::string& why) {
    failure_ = why;
    toolkit_.showMessage({why, std::nullopt, ui::Icon::Critical, ui::Buttons::Ok});
    window_->unload();
}

void MainWindow::onLoad() {
    const ConfigRead read = readStartupConfig(programFolder_ + "/" + std::string(kConfigFileName));
    if (!read.config) {
        fail(read.failure);
        return;
    }
    const StartupConfig& config = *read.config;
    state_.AppTitle = config.appTitle;
    window_->setCaption(state_.AppTitle);
    state_.ModelId = config.modelId;
    state_.RegistryKeyPath = "SoftWare\\" + config.keyName + "\\Update";

    const std::string stored =
        store_.ReadRegValue(settings::RootKey::LocalMachine, state_.RegistryKeyPath,
                            std::string(settings::kComPortValue));
    if (stored.empty()) {
        state_.ComPortNumber = 1;
    } else if (const auto number = leadingNumberToInt16(stored)) {
        state_.ComPortNumber = *number;
    }  // a number too large for the port leaves it as it was
    state_.UseEnglish = true;
    window_->label("LabelVersion").setCaption("Version:" + config.version);
}

void MainWindow::onPortButtonClicked() {
    if (!formComPort_) {
        formComPort_ = toolkit_.createWindow(ui::kFormComPort);
        comPortDialog_ = std::make_unique<desktop::PortDialog>(
            state_, store_, *formComPort_,
            [this](int number) { return toolkit_.portToolTip(number); });
    }
    formComPort_->showModal();
}

void MainWindow::showSessionWindow() {
    if (!formProcess_) {
        formProcess_ = toolkit_.createWindow(ui::kFormProcess);
        session_ = std::make_unique<desktop::SessionWindow>(state_, toolkit_, *formProcess_);
    }
    formProcess_->showModal();
}

}  // namespace comflash::desktop
