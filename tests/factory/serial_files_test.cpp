#include "factory/serial_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>

#include "temp_folder.h"

namespace comflash::factory {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SerialFiles : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
    std::string file(const char* name) const { return (folder_.path() / name).string(); }

    test::TempFolder folder_;
};

// Numbers and MAC addresses are handed out in turn, each file left holding the next one.
TEST_F(SerialFiles, ACounterHandsOutItsNumbersInTurn) {
    struct Case {
        const char* holds;
        std::vector<const char*> handed;
        const char* leaves;
    };
    const std::vector<Case> cases{
        {"0998\n", {"0998", "0999", "1000"}, "1001\n"},
        {" 41000\r\n", {"41000"}, "41001\n"},
        {"00:11:22:33:44:FE", {"00:11:22:33:44:FE", "00:11:22:33:44:FF"}, "00:11:22:33:45:00\n"},
    };
    for (const Case& c : cases) {
        write(file("counter"), c.holds);
        CounterFile counter(file("counter"));
        for (const char* expected : c.handed) {
            const Reservation got = counter.reserve();
            EXPECT_EQ(got.serial.value_or("none: " + got.why), expected) << c.holds;
        }
        EXPECT_EQ(contents(file("counter")), c.leaves);
    }
}

// A counter that cannot give a number says why, and stays as it was.
TEST_F(SerialFiles, ACounterWithoutANumberIsRefused) {
    struct Case {
        const char* holds;  // nullptr: no file
        const char* why;
    };
    const Case cases[] = {
        {nullptr, "does not exist; make it holding the first serial number"},
        {"", "holds \"\", not a serial number (a whole number, or a MAC address)"},
        {"abc\n", "holds \"abc\", not a serial number"},
        {"12 13\n", "holds \"12 13\", not a serial number"},
        {"-4\n", "holds \"-4\", not a serial number"},
        {"18446744073709551615\n", "is at its end: 18446744073709551615 has no next"},
        {"FF:FF:FF:FF:FF:FF", "is at its end: FF:FF:FF:FF:FF:FF has no next"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(file("counter"));
        if (c.holds != nullptr) write(file("counter"), c.holds);
        const Reservation got = CounterFile(file("counter")).reserve();
        EXPECT_FALSE(got.serial) << *got.serial;
        EXPECT_TRUE(has(got.why, "the counter " + file("counter") + " ")) << got.why;
        EXPECT_TRUE(has(got.why, c.why)) << got.why;
        EXPECT_EQ(std::filesystem::exists(file("counter")), c.holds != nullptr);
        if (c.holds != nullptr) {
            EXPECT_EQ(contents(file("counter")), c.holds);
        }
    }
}

TEST_F(SerialFiles, AListIsTakenLineByLineUntilUsedUp) {
    write(file("list"), "# batch 7\r\n\r\n100\r\n  200  \n#300\n00:11:22:33:44:55\n");
    ListFile list(file("list"));
    for (const char* expected : {"100", "200", "00:11:22:33:44:55"}) {
        const Reservation got = list.reserve();
        EXPECT_EQ(got.serial.value_or("none: " + got.why), expected);
    }
    EXPECT_EQ(contents(file("list.used")), "3\n");
    const Reservation over = list.reserve();
    EXPECT_FALSE(over.serial);
    EXPECT_EQ(over.why, "the list " + file("list") + " is used up: all 3 serial numbers are taken");
    // More lines at the end: the next station takes the first of them.
    std::ofstream(file("list"), std::ios::app) << "400\n";
    EXPECT_EQ(ListFile(file("list")).reserve().serial.value_or("none"), "400");

    struct Case {
        const char* list;  // nullptr: none
        const char* used;  // nullptr: none
        std::string why;
    };
    const Case refused[] = {
        {nullptr, nullptr, "the list " + file("list") + " cannot be read: "},
        {"# none yet\n\n", nullptr, " holds no serial numbers"},
        {"1\n2\n", "two\n", "list.used holds \"two\", not the count of serial numbers taken"},
    };
    for (const Case& c : refused) {
        std::filesystem::remove(file("list"));
        std::filesystem::remove(file("list.used"));
        if (c.list != nullptr) write(file("list"), c.list);
        if (c.used != nullptr) write(file("list.used"), c.used);
        const Reservation got = ListFile(file("list")).reserve();
        EXPECT_FALSE(got.serial);
        EXPECT_TRUE(has(got.why, c.why)) << got.why;
        EXPECT_EQ(contents(file("list.used")), c.used ? c.used : "");
    }
}

// Two stations drawing at once, each through its own open file (as two processes do): every
// number is handed out once, and none is skipped.
TEST_F(SerialFiles, TwoStationsNeverShareANumber) {
    constexpr int kEach = 100;
    std::string listed;
    for (int i = 0; i < 2 * kEach; ++i) listed += std::to_string(5000 + i) + "\n";
    write(file("list"), listed);
    write(file("counter"), "1000\n");
    const std::vector<std::pair<const char*, std::function<std::unique_ptr<SerialFile>()>>> sources{
        {"counter", [&] { return std::make_unique<CounterFile>(file("counter")); }},
        {"list", [&] { return std::make_unique<ListFile>(file("list")); }},
    };
    for (const auto& [name, open] : sources) {
        std::vector<std::string> drawn[2];
        std::vector<std::thread> stations;
        for (auto& into : drawn) {
            stations.emplace_back([&into, &open] {
                for (int i = 0; i < kEach; ++i) {
                    // A station's file is opened afresh for every board.
                    const Reservation got = open()->reserve();
                    into.push_back(got.serial.value_or(got.why));
                }
            });
        }
        for (std::thread& station : stations) station.join();
        std::vector<long> numbers;
        for (const auto& station : drawn) {
            for (const std::string& serial : station) numbers.push_back(std::stol(serial));
        }
        std::sort(numbers.begin(), numbers.end());
        const long first = std::string(name) == "counter" ? 1000 : 5000;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            ASSERT_EQ(numbers[i], first + static_cast<long>(i)) << name;
        }
    }
    EXPECT_EQ(contents(file("counter")), "1200\n");
    EXPECT_EQ(contents(file("list.used")), "200\n");
}

}  // namespace
}  // namespace comflash::factory
