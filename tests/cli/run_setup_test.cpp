// What the command line refuses before any port opens, each with its reason.
#include "cli/run_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "settings/com_port_names.h"
#include "temp_folder.h"

namespace comflash::cli {
namespace {

TEST(RunSetup, RefusalsBeforeAnyPortOpens) {
    test::TempFolder folder;
    const auto at = [&](const char* name) { return (folder.path() / name).string(); };
    std::ofstream(at("low.hex")) << ":01001000559A\n";
    std::ofstream(at("high.hex")) << ":01801000551A\n";
    std::filesystem::create_directory(at("ports"));
    std::ofstream(at("tty"));

    const auto firmware = [](const std::string& path) {
        return std::get<image::FirmwareFile>(image::ReadFirmwareFile(path));
    };
    Request verify;
    verify.verify = true;
    verify.file = at("low.hex");
    EXPECT_NE(verifyRefusal(verify, firmware(verify.file)).find("starts at 0x0010"),
              std::string::npos);
    verify.file = at("high.hex");
    EXPECT_EQ(verifyRefusal(verify, firmware(verify.file)), "");

    EXPECT_EQ(saveTargetProblem(at("out.hex")), "");
    EXPECT_NE(saveTargetProblem(at("ports")), "") << "a folder";
    EXPECT_NE(saveTargetProblem(at("none/out.hex")), "") << "no such folder";

    // The device a port stands for, as the host resolves it.
    const auto deviceOf = [&](const PortArgument& port) {
#ifdef _WIN32
        return "COM" + std::to_string(port.number);
#else
        return port.device.empty() ? settings::comPortDevice(port.number, at("ports"))
                                   : port.device;
#endif
    };
#ifdef _WIN32
    // Windows has no ports folder: COM1 is the system's COM1, in any letter case.
    const auto same = readPorts({"COM1", "com1"}, deviceOf);
#else
    std::filesystem::create_symlink(at("tty"), at("ports") + "/COM1");
    const auto same = readPorts({"COM1", at("tty")}, deviceOf);
#endif
    ASSERT_TRUE(std::holds_alternative<std::string>(same));
    EXPECT_NE(std::get<std::string>(same).find("are the same device"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<std::string>(readPorts({"LPT1"}, deviceOf)));
    EXPECT_TRUE(
        std::holds_alternative<std::vector<PortArgument>>(readPorts({"COM1", "COM2"}, deviceOf)));

    const auto why = [](const std::variant<Settings, std::string>& started) {
        const auto* text = std::get_if<std::string>(&started);
        return text == nullptr ? std::string() : *text;
    };
    Request model;
    model.model = "1:2:x";
    EXPECT_NE(why(startUp(model, folder.path().string())).find("--model:"), std::string::npos);
    model.model = "16:32:48";
    const auto settings = startUp(model, folder.path().string());
    EXPECT_EQ(why(settings), "");
    EXPECT_EQ(modelText(std::get<Settings>(settings).model), "16:32:48");
    EXPECT_NE(why(startUp(Request{}, folder.path().string())), "") << "no Config.txt there";
}

}  // namespace
}  // namespace comflash::cli
