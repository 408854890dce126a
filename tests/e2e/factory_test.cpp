// The station on a production line, as a program against comflash-sim fixtures: a serial
// number in every board, drawn from a counter, a list or the before-board hook; hooks that
// refuse, hang or fail; and what the record and the board's memory then hold.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "record_vectors.h"
#include "sim_process.h"
#include "temp_folder.h"

namespace comflash::e2e {
namespace {

using Strings = std::vector<std::string>;
constexpr unsigned kSerialAt = 0x8100;

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

// What a board's record and memory should hold.
struct Board {
    std::string code;
    std::string serial;  // as recorded; empty: none
    std::string state;   // used, void
    std::string bytes;   // at kSerialAt when the board was written; empty: not written
};

struct Case {
    const char* name;
    Strings options;  // {folder} stands for the test's folder
    Strings files;    // NAME=CONTENTS written into the folder first, scripts made executable
    std::vector<Board> boards;
    std::string says;  // a line the station prints, waited for before it is stopped
};

class FactoryTest : public ::testing::Test {
  protected:
    std::string file(const std::string& name) const { return (folder_.path() / name).string(); }

    // A 4 KiB firmware at 0x8000; the memory of a board written with it.
    std::string firmware() {
        std::string memory(0x10000, '\xFF');
        std::ofstream hex(file("Fw_1.03.hex"), std::ios::binary);
        for (unsigned address = 0x8000; address < 0x9000; address += 16) {
            std::vector<std::uint8_t> data;
            for (unsigned i = 0; i < 16; ++i) {
                data.push_back(static_cast<std::uint8_t>((address + i) * 5 + 3));
            }
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data)
                << "\r\n";
            std::copy(data.begin(), data.end(), memory.begin() + address);
        }
        hex << ":00000001FF\r\n";
        return memory;
    }

    std::string expand(std::string text) const {
        for (auto at = text.find("{folder}"); at != std::string::npos; at = text.find("{folder}"))
            text.replace(at, 8, folder_.path().string());
        return text;
    }

    test::TempFolder folder_;
};

TEST_F(FactoryTest, EveryBoardGetsItsOwnSerialNumber) {
    const Strings counter = {"--serial-at", "0x8100", "--serial-counter", "{folder}/counter"};
    const std::string u32_100("\x64\x00\x00\x00", 4);
    const std::string u32_101("\x65\x00\x00\x00", 4);
    const std::string u32_102("\x66\x00\x00\x00", 4);
    const std::vector<Case> cases = {
        {"a counter; a board that fails its verify voids its number",
         counter,
         {"counter=100\n"},
         {{"succeeded", "100", "used", u32_100},
          {"verify-failed", "101", "void", std::string("\x65\x00\x00\x00", 4)},
          {"succeeded", "102", "used", u32_102}},
         ""},
        {"a list runs out: the next board does not start, and the station says why",
         {"--serial-at", "0x8100", "--serial-format", "u16be", "--serial-list", "{folder}/list"},
         {"list=# two numbers\n7000\n7001\n"},
         {{"succeeded", "7000", "used", "\x1B\x58"}, {"succeeded", "7001", "used", "\x1B\x59"}},
         "used up"},
        {"the before-board hook refuses odd numbers",
         [&] {
             Strings o = counter;
             o.insert(o.end(), {"--before-board", "{folder}/even.sh"});
             return o;
         }(),
         {"counter=100\n",
          "even.sh=#!/bin/sh\necho \"odd: $COMFLASH_SERIAL\"\n"
          "[ $((COMFLASH_SERIAL % 2)) -eq 0 ]\n"},
         {{"succeeded", "100", "used", u32_100},
          {"refused", "101", "void", ""},
          {"succeeded", "102", "used", u32_102}},
         ""},
        {"a before-board hook that hangs past its limit refuses its board only",
         [&] {
             Strings o = counter;
             o.insert(o.end(), {"--before-board", "{folder}/hang.sh", "--hook-limit", "0.5"});
             return o;
         }(),
         {"counter=100\n",
          "hang.sh=#!/bin/sh\n[ -e {folder}/hung ] && exit 0\n"
          "touch {folder}/hung; sleep 60\n"},
         {{"hook-failed", "100", "void", ""},
          {"succeeded", "101", "used", u32_101},
          {"succeeded", "102", "used", u32_102}},
         ""},
        {"the before-board hook supplies the number, written as eight ASCII digits",
         {"--serial-at", "0x8100", "--serial-format", "dec8", "--serial-from-hook",
          "--before-board", "{folder}/next.sh"},
         {"next.sh=#!/bin/sh\nn=$(cat {folder}/n 2>/dev/null || echo 4711)\n"
          "echo $((n + 1)) > {folder}/n\necho $n\n"},
         {{"succeeded", "4711", "used", "00004711"},
          {"succeeded", "4712", "used", "00004712"},
          {"succeeded", "4713", "used", "00004713"}},
         ""},
        {"an after-board hook that fails is noted and changes no result",
         [&] {
             Strings o = counter;
             o.insert(o.end(), {"--after-board", "{folder}/after.sh"});
             return o;
         }(),
         {"counter=100\n",
          "after.sh=#!/bin/sh\necho \"$COMFLASH_SERIAL $COMFLASH_CODE\" >> {folder}/after\n"
          "exit 1\n"},
         {{"succeeded", "100", "used", u32_100},
          {"succeeded", "101", "used", u32_101},
          {"succeeded", "102", "used", u32_102}},
         ""},
    };
    const std::string memory = firmware();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* stale :
             {"counter", "list", "list.used", "hung", "n", "after", "station.csv"}) {
            std::filesystem::remove(file(stale));
        }
        for (const std::string& named : c.files) {
            const std::string name = named.substr(0, named.find('='));
            std::ofstream(file(name), std::ios::binary) << expand(named.substr(name.size() + 1));
            if (name.ends_with(".sh")) {
                std::filesystem::permissions(file(name), std::filesystem::perms::owner_all);
            }
        }
        const bool verifyFault = c.boards.size() > 1 && c.boards[1].code == "verify-failed";
        Strings simArgs = {"--model", "16:32:48",     "--boards", "3",      "--board-gap",
                           "1000",    "--board-stay", "2000",     "--dump", file("dump.bin")};
        if (verifyFault) simArgs.insert(simArgs.end(), {"--board-fault", "2:stuck:0x8800:0x00"});
        SimProcess sim(simArgs);
        Strings args = {"station",  file("Fw_1.03.hex"), "--port", sim.path(),         "--model",
                        "16:32:48", "--verify",          "--log",  file("station.csv")};
        for (const std::string& option : c.options) args.push_back(expand(option));
        const std::size_t records = c.boards.size();
        const CliRun run = runCliSignalled(
            args, file("config"),
            [&](const std::string& out) {
                return count(out, ": board ") == static_cast<int>(records) &&
                       (c.says.empty() || out.find(c.says) != std::string::npos);
            },
            SIGINT);
        sim.signal(SIGTERM);
        sim.wait();
        const bool allPassed = std::all_of(c.boards.begin(), c.boards.end(),
                                           [](const Board& b) { return b.code == "succeeded"; });
        EXPECT_EQ(run.exit, allPassed ? 0 : 1) << run.out << run.err;

        std::istringstream log(contents(file("station.csv")));
        Strings lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), records + 1) << contents(file("station.csv")) << run.out;
        for (std::size_t i = 0; i < records; ++i) {
            const Board& board = c.boards[i];
            SCOPED_TRACE("board " + std::to_string(i + 1));
            EXPECT_TRUE(std::regex_search(
                lines[i + 1], std::regex("," + board.code + ",.*," + board.serial + "," +
                                         board.state + "(,|\r)")))
                << lines[i + 1];
            const std::string dump = contents(file("dump.bin." + std::to_string(i + 1)));
            ASSERT_EQ(dump.size(), memory.size());
            if (board.bytes.empty()) {
                EXPECT_EQ(dump.substr(0x8000, 0x1000), std::string(0x1000, '\xFF'))
                    << "not written";
                continue;
            }
            std::string expected = memory;
            expected.replace(kSerialAt, board.bytes.size(), board.bytes);
            if (board.code == "verify-failed") expected[0x8800] = '\0';
            EXPECT_TRUE(dump == expected) << "the board's memory, its serial number in place";
        }
        if (records < 3) {
            EXPECT_EQ(contents(file("dump.bin.3")).substr(0x8000, 0x1000),
                      std::string(0x1000, '\xFF'))
                << "the board without a number is not written";
        }
        if (std::filesystem::exists(file("counter"))) {
            EXPECT_EQ(contents(file("counter")), "103\n") << "never handed out twice";
        }
        if (std::filesystem::exists(file("after"))) {
            EXPECT_EQ(contents(file("after")), "100 succeeded\n101 succeeded\n102 succeeded\n");
            EXPECT_EQ(count(contents(file("station.csv")), "after-board hook exited with 1"), 3);
        }
    }
}

}  // namespace
}  // namespace comflash::e2e
