#include "main_window/form1.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app/config_file.h"
#include "app/conversions.h"

namespace comflash::app {

namespace {

constexpr std::string_view kDefaultAppTitle = "Update";
constexpr std::string_view kDefaultVersion = "Unknow";
constexpr std::size_t kConfigItems = 4;
constexpr std::size_t kModelParts = 3;

}  // namespace

Form1::Form1(AppState& state, ui::Toolkit& toolkit, settings::RegistryStore& store,
             std::string programFolder)
    : state_(state),
      toolkit_(toolkit),
      store_(store),
      programFolder_(std::move(programFolder)),
      window_(toolkit.createWindow(ui::kForm1)),
      update_(state, toolkit, window_->fileList("File1"), programFolder_,
              [this] { showSessionWindow(); }),
      readBack_(state, toolkit, [this] { showSessionWindow(); }) {
    window_->onLoad = [this] { Form_Load(); };
    window_->button("Command1").onClick = [this] { update_.Command1_Click(); };
    window_->button("CommandCom").onClick = [this] { CommandCom_Click(); };
    window_->button("CommandRead").onClick = [this] { CommandRead_Click(); };
    window_->button("CommandSave").onClick = [this] { CommandSave_Click(); };
}

bool Form1::show() {
    window_->show();
    return window_->loaded();
}

void Form1::fail(const std::string& why) {
    failure_ = why;
    toolkit_.showMessage({why, std::nullopt, ui::Icon::Critical, ui::Buttons::Ok});
    window_->unload();
}

void Form1::Form_Load() {
    const std::string path = programFolder_ + "/" + std::string(kConfigFileName);
    // A folder of that name opens for reading but reads as empty; it is no Config.txt.
    std::error_code error;
    std::ifstream file;
    if (std::filesystem::is_regular_file(path, error)) file.open(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file.is_open() || file.bad()) {
        fail("Cannot read " + path + ": the file is missing or unreadable.");
        return;
    }
    const std::vector<std::string> items = splitConfigItems(text);
    if (items.size() < kConfigItems) {
        fail(path + ": " + std::to_string(items.size()) +
             " items found, 4 needed (model identifier, registry key name, title, version).");
        return;
    }
    const std::string& model = items[0];
    const std::string& keyName = items[1];
    const std::string& title = items[2];
    const std::string& version = items[3];

    state_.AppTitle = title.empty() ? std::string(kDefaultAppTitle) : title;
    window_->setCaption(state_.AppTitle);

    const std::vector<std::string> parts = splitModelParts(model);
    if (parts.size() < kModelParts) {
        fail(path + ": the model identifier \"" + model + "\" has " + std::to_string(parts.size()) +
             " part(s); 3 are needed, as in 12:3:255.");
        return;
    }
    for (std::size_t index = 0; index < kModelParts; ++index) {
        const auto byte = toByte(parts[index]);
        if (!byte) {
            fail(path + ": part " + std::to_string(index + 1) + " of the model identifier \"" +
                 model + "\" is \"" + parts[index] + "\", not a number from 0 to 255.");
            return;
        }
        state_.ModelId[index] = *byte;
    }
    state_.RegistryKeyPath = "SoftWare\\" + keyName + "\\Update";

    const std::string stored =
        store_.ReadRegValue(settings::RootKey::LocalMachine, state_.RegistryKeyPath,
                            std::string(settings::kComPortValue));
    if (stored.empty()) {
        state_.ComPortNumber = 1;
    } else if (const auto number = leadingNumberToInt16(stored)) {
        state_.ComPortNumber = *number;
    }  // a number too large for the port leaves it as it was
    state_.UseEnglish = true;
    window_->label("LabelVersion")
        .setCaption("Version:" + (version.empty() ? std::string(kDefaultVersion) : version));
}

void Form1::CommandCom_Click() {
    if (!formComPort_) {
        formComPort_ = toolkit_.createWindow(ui::kFormComPort);
        comPortDialog_ = std::make_unique<settings::FormComPort>(
            state_, store_, *formComPort_,
            [this](int number) { return toolkit_.portDevice(number); });
    }
    formComPort_->showModal();
}

void Form1::showSessionWindow() {
    if (!formProcess_) {
        formProcess_ = toolkit_.createWindow(ui::kFormProcess);
        session_ = std::make_unique<session::FormProcess>(state_, toolkit_, *formProcess_);
    }
    formProcess_->showModal();
}

}  // namespace comflash::app
