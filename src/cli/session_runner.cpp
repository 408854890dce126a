#include "cli/session_runner.h"

#include <cstdio>

#include "app/file_replacement.h"
#include "cli/firmware_warnings.h"
#include "cli/production_run.h"
#include "cli/run_setup.h"
#include "image/hex_writer.h"

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

int runOnePort(const Request& request, const std::string& portShown, const AppState& state,
               SessionRunner& runner, Console& console,
               const std::function<std::string(const PortFault&)>& describeFailure) {
    const auto portFailure = [&] {
        const auto result = runner.result();
        if (!result) return;
        const std::string line = describeFailure(result->fault);
        if (!line.empty()) console.warn(line);
    };

    if (request.command == Command::Write) {
        console.info("Writing " + firmwareText(request.file, state) + " to model " +
                     modelText(state) + " on " + portShown);
        for (const std::string& line : firmwareWarnings(request.file)) console.info(line);
        const desktop::UpdateResult result = runner.write(request.file);
        if (result == desktop::UpdateResult::OpenFailed ||
            result == desktop::UpdateResult::FaultyFile) {
            console.warn(fileReason(request.file));
        } else if (result == desktop::UpdateResult::NotCompleted) {
            portFailure();
            const auto ended = runner.result();
            if (ended && ended->outcome == session::Outcome::HandshakeRefused) {
                console.warn(kHandshakeRefused);
            }
            if (ended) {
                if (const std::string line = failureAddressLine(*ended); !line.empty()) {
                    console.warn(line);
                }
            }
        }
        if (const auto ended = runner.result(); ended && ended->verified) {
            char text[120];
            std::snprintf(text, sizeof text,
                          "Verified: the device holds the file's bytes from 0x%04X to 0x%04X.",
                          static_cast<unsigned>(state.ImageStart),
                          static_cast<unsigned>(state.ImageEnd));
            console.info(text);
        }
        return exitStatusOf(result);
    }

    console.info("Reading 32768 bytes from " + portShown + " into " + request.file);
    if (!runner.read()) {
        portFailure();
        return kExitFailed;
    }
    // Saved exactly as the window's Save command saves, and as atomically.
    if (const std::string why =
            app::ReplaceFileContents(request.file, image::ReadBackHexText(state.FirmwareImage));
        !why.empty()) {
        console.warn(request.file + ": cannot be saved: " + why);
        return kExitFailed;
    }
    console.info("Saved " + request.file);
    return kExitSucceeded;
}

bool loadForPorts(const Request& request, std::size_t ports, AppState& state, ui::Toolkit& toolkit,
                  Console& console) {
    ui::DirectoryFileList unusedFileList;
    desktop::UpdateCommand loader(state, toolkit, unusedFileList, std::string(), [] {});
    if (loader.Load(request.file)) {
        console.warn(fileReason(request.file));
        return false;
    }
    console.info("Writing " + firmwareText(request.file, state) + " to model " + modelText(state) +
                 " on " + std::to_string(ports) + " ports");
    for (const std::string& line : firmwareWarnings(request.file)) console.info(line);
    return true;
}

}  // namespace comflash::cli
