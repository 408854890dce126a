// What the command line refuses before any port opens, each with its reason.
#include "cli/run_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

    Request verify;
    verify.verify = true;
    verify.file = at("low.hex");
    EXPECT_NE(verifyRefusal(verify).find("starts at 0x0010"), std::string::npos);
    verify.file = at("high.hex");
    EXPECT_EQ(verifyRefusal(verify), "");

    EXPECT_EQ(saveTargetProblem(at("out.hex")), "");
    EXPECT_NE(saveTargetProblem(at("ports")), "") << "a folder";
    EXPECT_NE(saveTargetProblem(at("none/out.hex")), "") << "no such folder";

#ifdef _WIN32
    // Windows has no ports folder: COM1 is the system's COM1, in any letter case.
    const auto same = readPorts({"COM1", "com1"}, at("ports"));
#else
    std::filesystem::create_symlink(at("tty"), at("ports") + "/COM1");
    const auto same = readPorts({"COM1", at("tty")}, at("ports"));
#endif
    ASSERT_TRUE(std::holds_alternative<std::string>(same));
    EXPECT_NE(std::get<std::string>(same).find("are the same device"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<std::string>(readPorts({"LPT1"}, at("ports"))));
    EXPECT_TRUE(std::holds_alternative<std::vector<PortArgument>>(
        readPorts({"COM1", "COM2"}, at("ports"))));

    Request model;
    model.model = "1:2:x";
    AppState state;
    EXPECT_NE(startUp(model, folder.path().string(), state).find("--model:"), std::string::npos);
    model.model = "16:32:48";
    EXPECT_EQ(startUp(model, folder.path().string(), state), "");
    EXPECT_EQ(modelText(state), "16:32:48");
    EXPECT_NE(startUp(Request{}, folder.path().string(), state), "") << "no Config.txt there";
}

}  // namespace
}  // namespace comflash::cli
