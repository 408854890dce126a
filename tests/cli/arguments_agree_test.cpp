// The Linux program reads its command line with Qt's parser: the plain one of the Windows
// program must make the same requests and give the same refusals, in the same words.
#include <gtest/gtest.h>

#include "argument_cases.h"
#include "cli/arguments.h"
#include "command_line.h"

namespace comflash::cli {
namespace {

TEST(Arguments, AgreeWithTheQtParser) {
    for (const auto& c : testing::argumentCases()) {
        QStringList arguments{"comflash-cli"};
        for (const std::string& argument : c.arguments) {
            arguments << QString::fromStdString(argument);
        }
        const auto plain = parseArguments(c.arguments, "1.2.3");
        ASSERT_FALSE(std::holds_alternative<ShownText>(plain));
        const auto asPlain = std::holds_alternative<Request>(plain)
                                 ? std::variant<Request, std::string>(std::get<Request>(plain))
                                 : std::variant<Request, std::string>(std::get<std::string>(plain));
        EXPECT_EQ(testing::describe(parseRequest(arguments)), testing::describe(asPlain));
    }
}

}  // namespace
}  // namespace comflash::cli
