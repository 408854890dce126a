#include "cli/console.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace comflash::cli {
namespace {

constexpr std::string_view kPrompt = "Check connection!Retry or cancel?";
constexpr bool Retry = true;
constexpr bool Cancel = false;

struct Streams {
    std::ostringstream out, err;
};

TEST(Console, MessagesGoToTheirStreamAsTheyStand) {
    struct Case {
        const char* text;
        bool report;
        const char* out;
        const char* err;
    };
    const std::vector<Case> cases{
        {"Successful", true, "Successful\n", ""},        {"读取成功", true, "读取成功\n", ""},
        {"Model Error！", false, "", "Model Error！\n"}, {"文档有误", false, "", "文档有误\n"},
        {"打开文件错误", false, "", "打开文件错误\n"},
    };
    for (const auto& c : cases) {
        Streams s;
        Console console(s.out, s.err, false, true, 0);
        c.report ? console.report(c.text) : console.failure(c.text);
        EXPECT_EQ(s.out.str(), c.out);
        EXPECT_EQ(s.err.str(), c.err);
    }
}

TEST(Console, RetryPromptIsAnsweredRetryAsOftenAsAllowedThenCancelWithoutATerminal) {
    Streams s;
    Console console(s.out, s.err, false, /*inIsTerminal=*/false, /*retries=*/2);
    EXPECT_EQ(console.askRetry(kPrompt), Retry);
    EXPECT_EQ(console.askRetry(kPrompt), Retry);
    EXPECT_EQ(console.askRetry(kPrompt), Cancel);
    EXPECT_EQ(console.askRetry(kPrompt), Cancel);
    EXPECT_EQ(s.err.str(),
              "Check connection!Retry or cancel? Retry (1 of --retries 2)\n"
              "Check connection!Retry or cancel? Retry (2 of --retries 2)\n"
              "Check connection!Retry or cancel? Cancel (no terminal to ask)\n"
              "Check connection!Retry or cancel? Cancel (no terminal to ask)\n");
}

TEST(Console, OnATerminalTheUserAnswersAfterTheAllowedRetries) {
    Streams s;
    Console console(s.out, s.err, false, /*inIsTerminal=*/true, /*retries=*/1);
    EXPECT_EQ(console.askRetry(kPrompt), Retry);
    EXPECT_EQ(console.askRetry(kPrompt), std::nullopt) << "the user is asked";
    EXPECT_EQ(s.err.str(),
              "Check connection!Retry or cancel? Retry (1 of --retries 1)\n"
              "Check connection!Retry or cancel? [r]etry/[c]ancel: ");

    struct Case {
        std::optional<std::string> line;
        std::optional<bool> answer;
        const char* printed;
    };
    const std::vector<Case> cases{
        {"r", Retry, ""},
        {" Retry\r", Retry, ""},
        {"c", Cancel, ""},
        {"CANCEL", Cancel, ""},
        {"", std::nullopt, "Please type r to retry or c to cancel: "},
        {"yes", std::nullopt, "Please type r to retry or c to cancel: "},
        {std::nullopt, Cancel, "\nCancel (the input ended)\n"},
    };
    for (const auto& c : cases) {
        s.err.str("");
        EXPECT_EQ(console.reply(c.line), c.answer) << c.line.value_or("(end)");
        EXPECT_EQ(s.err.str(), c.printed) << c.line.value_or("(end)");
    }
}

TEST(Console, AMessageStartsOnALineOfItsOwnAfterTerminalProgress) {
    Streams s;
    Console console(s.out, s.err, /*outIsTerminal=*/true, false, 0);
    console.progress(0.5, 100, std::chrono::milliseconds(0));
    console.failure("Model Error！");
    console.progress(1, 999, std::chrono::milliseconds(0));
    console.info("Saved out.hex");
    EXPECT_EQ(s.out.str(),
              "\r[###############---------------]  50%  50/100 bytes\n"
              "\r[##############################] 100%  100/100 bytes  in 0:00\n"
              "Saved out.hex\n")
        << "the total is the first call's";
    EXPECT_EQ(s.err.str(), "Model Error！\n");
}

TEST(Console, TheVerifyPassHasALineAndAMeterOfItsOwn) {
    Streams s;
    Console console(s.out, s.err, /*outIsTerminal=*/false, false, 0);
    console.progress(1, 100, std::chrono::milliseconds(0));
    // The write's last figure, reported after the step has changed, then the pass's start.
    console.progress(1, 100, std::chrono::milliseconds(0), /*verifying=*/true);
    console.progress(0, 100, std::chrono::milliseconds(0), /*verifying=*/true);
    console.progress(0.1, 100, std::chrono::milliseconds(0), /*verifying=*/true);
    console.progress(0.2, 100, std::chrono::milliseconds(0), /*verifying=*/true);
    EXPECT_EQ(s.out.str(),
              "100%  100/100 bytes  in 0:00\n"
              "Verifying: reading the written bytes back\n"
              "10%  10/100 bytes\n"
              "20%  20/100 bytes\n");
}

}  // namespace
}  // namespace comflash::cli
