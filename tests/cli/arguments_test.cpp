#include "cli/arguments.h"

#include <gtest/gtest.h>

#include "argument_cases.h"

namespace comflash::cli {
namespace {

std::string describeParsed(const ParsedArguments& parsed) {
    if (const auto* request = std::get_if<Request>(&parsed)) return testing::describe(*request);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return "error: " + *problem;
    return "shown: " + std::get<ShownText>(parsed).text;
}

TEST(Arguments, RequestsAndRefusals) {
    for (const auto& c : testing::argumentCases()) {
        EXPECT_EQ(describeParsed(parseArguments(c.arguments, "1.2.3")), c.expected);
    }
}

// --help and --version end the program with their text, whatever else is wrong but unknown
// options; a command's help names its own options only.
TEST(Arguments, ShownTexts) {
    struct Case {
        std::vector<std::string> arguments;
        std::string has;
        std::string lacks;
    };
    const std::vector<Case> cases{
        {{"--version"}, "comflash-cli 1.2.3\n", "Usage"},
        {{"write", "-v"}, "comflash-cli 1.2.3\n", "Usage"},
        {{"--help"}, "Usage: comflash-cli [options] COMMAND\n", "--model <A:B:C>"},
        {{"-?"}, "  -?, -h, --help ", "--config <FILE>"},
        {{"write", "-h", "--port"}, "", ""},  // the missing value comes first
        {{"write", "--help"}, "  --verify ", "--version"},
        {{"read", "x", "--help"}, "  --port <PORT> ", "--verify"},
        {{"station", "-h"}, "  --serial-counter <FILE> ", "--version"},
        {{"read", "-h"}, "  --retries <N> ", "--serial-at"},
        {{"ports", "-h"}, "Lists each port COM1 to COM99 that opens.", "--port"},
        {{"records", "-h"}, "Usage: comflash-cli [options] records push LOG.csv\n", "--port"},
        {{"station", "-h"}, "  --station <NAME> ", "records push"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseArguments(c.arguments, "1.2.3");
        if (c.has.empty()) {
            EXPECT_EQ(describeParsed(parsed), "error: Missing value after '--port'.");
            continue;
        }
        const auto* shown = std::get_if<ShownText>(&parsed);
        ASSERT_NE(shown, nullptr) << describeParsed(parsed);
        EXPECT_NE(shown->text.find(c.has), std::string::npos) << shown->text;
        EXPECT_EQ(shown->text.find(c.lacks), std::string::npos) << shown->text;
        for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
            end = shown->text.find('\n', start);
            EXPECT_LE(std::min(end, shown->text.size()) - start, 79u) << shown->text;
        }
    }
}

}  // namespace
}  // namespace comflash::cli
