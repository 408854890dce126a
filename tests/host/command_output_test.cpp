// What is kept of a command's output comes through pipes in pieces cut anywhere.
#include "host/command_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::host {
namespace {

TEST(CommandOutput, KeepsTheFirstLineAndTheLastErrorLineWhereverThePiecesAreCut) {
    const std::string longLine(CommandOutput::kLineLimit + 10, 'x');
    struct Case {
        std::vector<std::string> out;
        std::vector<std::string> err;
        std::string firstLine;
        std::string lastErrorLine;
    };
    const Case cases[] = {
        {{"SN-0", "42\r", "\nsecond\n"}, {}, "SN-042", ""},
        {{"no line end"},
         {"warning\nfailed: no fixture", "\r\n", "  \n"},
         "no line end",
         "failed: no fixture"},
        {{longLine, "\n"},
         {longLine + "\nlast"},
         longLine.substr(0, CommandOutput::kLineLimit),
         "last"},
        {{"\n", "later\n"},
         {std::string(3 * CommandOutput::kLineLimit, 'e')},
         "",
         std::string(CommandOutput::kLineLimit, 'e')},
    };
    for (const auto& c : cases) {
        CommandOutput output;
        for (const auto& piece : c.out) output.addOut(piece);
        for (const auto& piece : c.err) output.addErr(piece);
        EXPECT_EQ(output.firstLine(), c.firstLine);
        EXPECT_EQ(output.lastErrorLine(), c.lastErrorLine);
    }
}

}  // namespace
}  // namespace comflash::host
