#include "app/config_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::app {
namespace {

using Items = std::vector<std::string>;

TEST(ConfigItems, SplitsByCommasAndLineEnds) {
    struct Case {
        const char* name;
        std::string text;
        Items items;
    };
    const std::vector<Case> cases{
        {"one line", "1:2:3, Maker, Tool, V1.0", {"1:2:3", "Maker", "Tool", "V1.0"}},
        {"four lines", "1:2:3\nMaker\nTool\nV1.0\n", {"1:2:3", "Maker", "Tool", "V1.0"}},
        {"CR LF and lone CR", "1:2:3\r\nMaker\rTool,V1.0\r\n", {"1:2:3", "Maker", "Tool", "V1.0"}},
        {"quoted title keeps its comma",
         "1:2:3,Maker,\"Tool, Pro\",V1",
         {"1:2:3", "Maker", "Tool, Pro", "V1"}},
        {"quoted item: text after the quote is dropped", "\"a\" x,b", {"a", "b"}},
        {"unclosed quote runs to the line end", "\"a,b\nc", {"a,b", "c"}},
        {"empty items between commas", "1:2:3,,,V", {"1:2:3", "", "", "V"}},
        {"trailing blanks of unquoted items dropped", "  a  ,\tb\t", {"a", "b"}},
        {"quoted blanks are kept", "\" a \"", {" a "}},
        {"blank lines are no items", "a\n\n   \nb", {"a", "b"}},
        {"a comma at the line end starts no empty item", "a,\nb, \nc", {"a", "b", "c"}},
        {"items with trailing commas, one per line",
         "1:2:3,\r\nMaker,\r\nTool,\r\nV1.0,\r\n",
         {"1:2:3", "Maker", "Tool", "V1.0"}},
        {"an empty item before the line end needs its own comma", "a,,\nb", {"a", "", "b"}},
        {"empty file", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitConfigItems(c.text), c.items) << c.name;
    }
}

TEST(ConfigItems, ModelPartsSplitAtEveryColon) {
    EXPECT_EQ(splitModelParts("1:2:3"), (Items{"1", "2", "3"}));
    EXPECT_EQ(splitModelParts("1:2"), (Items{"1", "2"}));
    EXPECT_EQ(splitModelParts("1::3:4"), (Items{"1", "", "3", "4"}));
    EXPECT_EQ(splitModelParts(""), (Items{""}));
}

}  // namespace
}  // namespace comflash::app
