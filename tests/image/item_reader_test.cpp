#include "image/item_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "trickle_stream.h"

namespace comflash::image {
namespace {

using Status = ItemReader::Status;

// Every item up to the first status that is not Item, followed by that status's name.
std::vector<std::string> readAll(std::istream& file) {
    ItemReader reader(file);
    std::vector<std::string> items;
    std::string item;
    for (;;) {
        switch (reader.next(item)) {
            case Status::Item:
                items.push_back(item);
                continue;
            case Status::End:
                items.push_back("<end>");
                return items;
            case Status::Failed:
                items.push_back("<failed>");
                return items;
        }
    }
}

TEST(ItemReader, SplitsAtLineEndsAndCommasAndDropsLeadingBlanks) {
    struct Case {
        std::string text;
        std::vector<std::string> items;
    };
    const std::vector<Case> cases = {
        {"", {"<end>"}},
        {"a\nb\n", {"a", "b", "<end>"}},
        {"a\r\nb\r\n", {"a", "b", "<end>"}},
        {"a\rb", {"a", "b", "<end>"}},
        // LF then CR, the line end of the tool's own saved files.
        {"a\n\rb\n\r", {"a", "", "b", "", "<end>"}},
        {"  \t:01\n", {":01", "<end>"}},
        {"a,b,c\n", {"a", "b", "c", "<end>"}},
        {"a, \tb\n", {"a", "b", "<end>"}},
        {"a,\n", {"a", "", "<end>"}},
        {"a,\r\nb", {"a", "", "b", "<end>"}},
        {"\n\n", {"", "", "<end>"}},
        {"abc", {"abc", "<end>"}},
        {"a b \n", {"a b ", "<end>"}},
        {"   ", {"", "<end>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        std::istringstream whole(c.text);
        EXPECT_EQ(readAll(whole), c.items);
        testing::TrickleBuf buffer(c.text);
        std::istream byteByByte(&buffer);
        EXPECT_EQ(readAll(byteByByte), c.items);
    }
}

TEST(ItemReader, AFileThatStopsDeliveringFailsRatherThanEnds) {
    struct Case {
        std::size_t failAfter;
        std::vector<std::string> items;
    };
    const std::vector<Case> cases = {
        {0, {"<failed>"}},
        {2, {"a", "<failed>"}},  // before the next item
        {4, {"a", "<failed>"}},  // inside it
        {6, {"a", "bcd", "<end>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAfter);
        testing::TrickleBuf buffer("a\nbcd\n", c.failAfter);
        std::istream file(&buffer);
        EXPECT_EQ(readAll(file), c.items);
    }
}

}  // namespace
}  // namespace comflash::image
