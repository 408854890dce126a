#include "cli/console.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace comflash::cli {
namespace {

using ui::Answer;
using ui::Buttons;
using ui::Icon;

const ui::MessageBox kPrompt{"Check connection!Retry or cancel?", "Tool", Icon::Critical,
                             Buttons::RetryCancel};

struct Streams {
    std::ostringstream out, err;
};

TEST(Console, MessagesGoToTheirStreamAsTheyStand) {
    struct Case {
        ui::MessageBox box;
        const char* out;
        const char* err;
    };
    const std::vector<Case> cases{
        {{"Successful", "Tool", Icon::Exclamation, Buttons::Ok}, "Successful\n", ""},
        {{"读取成功", "Tool", Icon::Exclamation, Buttons::Ok}, "读取成功\n", ""},
        {{"Model Error！", "Tool", Icon::Critical, Buttons::Ok}, "", "Model Error！\n"},
        {{"文档有误", "Tool", Icon::None, Buttons::Ok}, "", "文档有误\n"},
        {{"打开文件错误", std::nullopt, Icon::Critical, Buttons::Ok}, "", "打开文件错误\n"},
    };
    for (const auto& c : cases) {
        Streams s;
        Console console(s.out, s.err, false, true, 0);
        EXPECT_EQ(console.show(c.box), Answer::Ok) << c.box.text;
        EXPECT_EQ(s.out.str(), c.out);
        EXPECT_EQ(s.err.str(), c.err);
        EXPECT_EQ(console.failureShown(), c.box.icon != Icon::Exclamation) << c.box.text;
    }
}

TEST(Console, RetryPromptIsAnsweredRetryAsOftenAsAllowedThenCancelWithoutATerminal) {
    Streams s;
    Console console(s.out, s.err, false, /*inIsTerminal=*/false, /*retries=*/2);
    EXPECT_EQ(console.show(kPrompt), Answer::Retry);
    EXPECT_EQ(console.show(kPrompt), Answer::Retry);
    EXPECT_EQ(console.show(kPrompt), Answer::Cancel);
    EXPECT_EQ(console.show(kPrompt), Answer::Cancel);
    EXPECT_EQ(s.err.str(),
              "Check connection!Retry or cancel? Retry (1 of --retries 2)\n"
              "Check connection!Retry or cancel? Retry (2 of --retries 2)\n"
              "Check connection!Retry or cancel? Cancel (no terminal to ask)\n"
              "Check connection!Retry or cancel? Cancel (no terminal to ask)\n");
}

TEST(Console, OnATerminalTheUserAnswersAfterTheAllowedRetries) {
    Streams s;
    Console console(s.out, s.err, false, /*inIsTerminal=*/true, /*retries=*/1);
    EXPECT_EQ(console.show(kPrompt), Answer::Retry);
    EXPECT_EQ(console.show(kPrompt), std::nullopt) << "the user is asked";
    EXPECT_EQ(s.err.str(),
              "Check connection!Retry or cancel? Retry (1 of --retries 1)\n"
              "Check connection!Retry or cancel? [r]etry/[c]ancel: ");

    struct Case {
        std::optional<std::string> line;
        std::optional<Answer> answer;
        const char* printed;
    };
    const std::vector<Case> cases{
        {"r", Answer::Retry, ""},
        {" Retry\r", Answer::Retry, ""},
        {"c", Answer::Cancel, ""},
        {"CANCEL", Answer::Cancel, ""},
        {"", std::nullopt, "Please type r to retry or c to cancel: "},
        {"yes", std::nullopt, "Please type r to retry or c to cancel: "},
        {std::nullopt, Answer::Cancel, "\nCancel (the input ended)\n"},
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
    console.show({"Model Error！", "Tool", Icon::Critical, Buttons::Ok});
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
