// comflash-cli as a program, against comflash-sim on a pseudo-terminal: what the command line
// adds to the session (exit status, texts on their streams, the prompt's answers, the saved
// file, the reasons a port cannot be used).
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QSerialPort>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
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
constexpr std::size_t kMemory = 0x10000;

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The device's log without its times: the frames it saw and its answers, in order.
std::string frames(const std::filesystem::path& log) {
    std::istringstream in(contents(log));
    std::string text;
    for (std::string line; std::getline(in, line);) text += line.substr(line.find(' ') + 1) + "\n";
    return text;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        std::filesystem::create_directories(ports());
    }

    std::string file(const char* name) const { return (folder_.path() / name).string(); }
    std::filesystem::path ports() const { return folder_.path() / "config/comflash/ports"; }
    std::string configHome() const { return (folder_.path() / "config").string(); }

    // comflash-sim of model 16:32:48 linked as COM1, with its dump and log in the folder.
    std::unique_ptr<SimProcess> startSim(std::vector<std::string> args) {
        return startSimAs(1, "", std::move(args));
    }
    // The same linked as COMn, with dump<tag>.bin and log<tag>.txt.
    std::unique_ptr<SimProcess> startSimAs(int n, const std::string& tag,
                                           std::vector<std::string> args,
                                           const char* model = "16:32:48") {
        const std::string name = "COM" + std::to_string(n);
        args.insert(args.end(), {"--model", model, "--dump", file(("dump" + tag + ".bin").c_str()),
                                 "--log", file(("log" + tag + ".txt").c_str())});
        auto sim = std::make_unique<SimProcess>(args);
        std::filesystem::remove(ports() / name);
        std::filesystem::create_symlink(sim->path(), ports() / name);
        return sim;
    }
    // Stops a device that is not told to end by itself; the dump is written then.
    static int stop(SimProcess& sim) {
        sim.signal(SIGTERM);
        return sim.wait();
    }

    CliRun cli(const Strings& args) { return runCli(args, configHome()); }

    // A firmware file with gaps between its records, `base` up; returns the device's memory
    // after an update with it: the records, the fill pattern in the gaps, erased bytes around.
    std::string firmware(const char* name, unsigned base = 0) {
        std::string memory(kMemory, '\xFF');
        std::ofstream hex(file(name), std::ios::binary);
        for (auto [from, to] : {std::pair{0x0100u, 0x0400u}, std::pair{0x0500u, 0x0910u}}) {
            from += base;
            to += base;
            for (unsigned address = from; address < to; address += 16) {
                std::vector<std::uint8_t> data;
                for (unsigned i = 0; i < 16; ++i) {
                    data.push_back(static_cast<std::uint8_t>((address + i) * 7 + 1));
                }
                hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data)
                    << "\r\n";
                std::copy(data.begin(), data.end(), memory.begin() + address);
            }
        }
        hex << ":00000001FF\r\n";
        for (unsigned address = base + 0x0400; address < base + 0x0500; ++address) {
            memory[address] = static_cast<char>((address & 0x7F) ^ 0xFF);
        }
        return memory;
    }

    // srec_cat's binary of a HEX file over `range` (its first address at offset 0); bytes
    // the file leaves out are 00. The read-back's lines end LF CR, which srec_cat does not read.
    std::string binary(const char* hexName, std::pair<unsigned, unsigned> range,
                       const std::string& crop = "") {
        std::string text;
        for (const char c : contents(file(hexName))) {
            if (c != '\r') text += c;
        }
        std::ofstream(file("normal.hex"), std::ios::binary) << text;
        char span[64];
        std::snprintf(span, sizeof span, " 0x%X 0x%X", range.first, range.second);
        const std::string command = std::string(COMFLASH_SREC_CAT) + " " + file("normal.hex") +
                                    " -intel" + crop + " -fill 0x00" + span + " -crop" + span +
                                    " -offset -" + std::to_string(range.first) + " -o " +
                                    file("out.bin") + " -binary 2>/dev/null";
        if (std::system(command.c_str()) != 0) return "srec_cat failed: " + command;
        return contents(file("out.bin"));
    }

    test::TempFolder folder_;
};

TEST_F(CliTest, WriteLeavesTheFirmwareInTheDevice) {
    const std::string expected = firmware("fw_1.03.hex");
    auto sim = startSim({"--sessions", "1"});
    const CliRun run = cli({"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(sim->wait(), 0) << contents(file("log.txt"));
    EXPECT_TRUE(contents(file("dump.bin")) == expected) << "the dump differs from the image";
    EXPECT_TRUE(has(run.out, "(version 1.3)")) << run.out;
    // 0x0400 to 0x04FF lies between the records: erased and filled with the pattern.
    EXPECT_TRUE(has(run.out, "\nWarning: fw_1.03.hex has no data from 0x0400 to 0x04FF (2 empty "))
        << run.out;
    EXPECT_TRUE(has(run.out, "\n100%  2064/2064 bytes")) << run.out;
    EXPECT_TRUE(has(run.out, "\nSuccessful\n")) << run.out;
    EXPECT_EQ(run.err, "");
    // The handshake carried the version the file's name gives.
    EXPECT_TRUE(has(contents(file("log.txt")), "handshake 55 82 10 20 30 01 03"));
}

// The saved file holds the device's read window at its own addresses (0x8000 up), lines ended
// LF CR, and srec_cat reads it back to the same bytes (a byte the file leaves out is 0x00).
// On Linux a file name is bytes: one in Latin-1 opens as any other, and is shown escaped.
TEST_F(CliTest, AFileNamedInLatin1IsOpenedAndShownEscaped) {
    const std::string expected = firmware("fw_1.03.hex");
    const std::string latin1 = file("caf\xE9_1.03.hex");
    std::filesystem::copy_file(file("fw_1.03.hex"), latin1);
    auto sim = startSim({"--sessions", "1"});
    const CliRun run = cli({"write", latin1, "--port", "COM1", "--model", "16:32:48"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(sim->wait(), 0);
    EXPECT_TRUE(contents(file("dump.bin")) == expected);
    EXPECT_TRUE(has(run.out, "caf\\xE9_1.03.hex (version 1.3)")) << run.out;
}

TEST_F(CliTest, ReadSavesTheDevicesMemory) {
    std::string memory(0x8000, '\xFF');
    {
        std::ofstream hex(file("memory.hex"), std::ios::binary);
        for (unsigned address = 0x0000; address < 0x7000; address += 32) {
            std::vector<std::uint8_t> data;
            for (unsigned i = 0; i < 32; ++i) {
                // Zeros at the start of some blocks, and whole blocks of zeros.
                const bool zero = (address % 0x400 == 0x20 && i < 5) || address % 0x1000 == 0x40;
                data.push_back(zero ? 0 : static_cast<std::uint8_t>(address / 32 + i * 3));
            }
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(0x8000 + address), 0, data)
                << "\n";
            std::copy(data.begin(), data.end(), memory.begin() + address);
        }
    }
    std::ofstream(file("old.hex")) << std::string(200'000, 'x');
    auto sim = startSim({"--memory", file("memory.hex"), "--sessions", "1"});
    const CliRun run = cli({"read", file("old.hex"), "--port", "COM1", "--model", "1:1:1"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(sim->wait(), 0) << contents(file("log.txt"));
    EXPECT_TRUE(has(run.out, "\n读取成功\n")) << run.out;

    const std::string saved = contents(file("old.hex"));
    ASSERT_GE(saved.size(), 2u);
    EXPECT_EQ(saved.substr(saved.size() - 2), "\n\r");
    EXPECT_TRUE(binary("old.hex", {0x8000, 0x10000}) == memory)
        << "the saved file differs from memory";
}

// A firmware written to the device and read back: the saved file holds the firmware's bytes at
// the firmware's own addresses, so it can be written to another device as it is.
TEST_F(CliTest, AFirmwareReadBackIsSavedAtItsOwnAddresses) {
    const std::string expected = firmware("fw_1.03.hex", 0x8000);
    auto sim = startSim({"--sessions", "2"});
    const CliRun write =
        cli({"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48"});
    EXPECT_EQ(write.exit, 0) << write.err;
    const CliRun read = cli({"read", file("read.hex"), "--port", "COM1", "--model", "16:32:48"});
    EXPECT_EQ(read.exit, 0) << read.err;
    EXPECT_EQ(sim->wait(), 0) << contents(file("log.txt"));
    EXPECT_TRUE(contents(file("dump.bin")) == expected) << "the dump differs from the image";

    // Over the firmware's own records, the saved file and the firmware agree byte for byte.
    const std::string records = " -crop 0x8100 0x8400 0x8500 0x8910";
    const std::pair range{0x8100u, 0x8910u};
    const std::string written = binary("fw_1.03.hex", range);
    ASSERT_EQ(written.size(), range.second - range.first) << written;
    EXPECT_TRUE(binary("read.hex", range, records) == written)
        << "the read-back differs from the firmware at its addresses";
    // And the whole saved window is the device's, the fill pattern in the gap included.
    EXPECT_TRUE(binary("read.hex", {0x8000, 0x10000}) == expected.substr(0x8000));
}

// Input the command line cannot use ends it with status 2 and its reason, before anything
// reaches the device.
TEST_F(CliTest, BadInputSendsNothing) {
    firmware("fw_1.03.hex");
    std::string faulty = contents(file("fw_1.03.hex"));
    faulty[faulty.find("\r\n:") + 12] ^= 1;  // a digit of the second record
    std::ofstream(file("faulty_1.0.hex"), std::ios::binary) << faulty;
    // sed '100s/^://': a record that lost its mark.
    std::string damaged = contents(file("fw_1.03.hex"));
    std::size_t line100 = 0;
    for (int line = 1; line < 100; ++line) line100 = damaged.find('\n', line100) + 1;
    damaged.erase(line100, 1);
    std::ofstream(file("damaged_1.0.hex"), std::ios::binary) << damaged;
    std::ofstream(file("Config.txt")) << "1:2:300,Maker,Tool,V1\n";
    struct Case {
        const char* name;
        Strings args;
        Strings err;
    };
    const std::vector<Case> cases{
        {"a faulty firmware file",
         {"write", file("faulty_1.0.hex"), "--port", "COM1", "--model", "16:32:48"},
         {"文档有误\n", "faulty_1.0.hex: not an Intel HEX file the loader accepts"}},
        {"a record without its ':'",
         {"write", file("damaged_1.0.hex"), "--port", "COM1", "--model", "16:32:48"},
         {"文档有误\n", "damaged_1.0.hex: not an Intel HEX file the loader accepts (line 100: "}},
        {"no such firmware file",
         {"write", file("none.hex"), "--port", "COM1", "--model", "16:32:48"},
         {"打开文件错误\n", "none.hex: No such file or directory\n"}},
        {"an unusable Config.txt",
         {"write", file("fw_1.03.hex"), "--port", "COM1", "--config", file("Config.txt")},
         {"part 3 of the model identifier \"1:2:300\" is \"300\""}},
        {"a model identifier of two parts",
         {"read", file("out.hex"), "--port", "COM1", "--model", "16:32"},
         {"--model: the model identifier \"16:32\" has 2 part(s)"}},
        {"a port that is no port", {"write", file("fw_1.03.hex"), "--port", "USB0"}, {"--port"}},
        {"a serial number no adapter has",
         {"write", file("fw_1.03.hex"), "--port", "serial:A10K3X"},
         {"--port serial:A10K3X: no port has that serial number; the ports there are:\n  COM1  " +
          (ports() / "COM1").string() + " -> /dev/pts/"}},
        {"a missing option", {"write", file("fw_1.03.hex")}, {"write needs --port PORT"}},
        {"a folder to save to",
         {"read", folder_.path().string(), "--port", "COM1", "--model", "1:2:3"},
         {"cannot be saved there"}},
        {"a faulty firmware file for two ports",
         {"write", file("faulty_1.0.hex"), "--port", "COM1", "--port", "COM2", "--model", "1:2:3"},
         {"文档有误\n"}},
        {"one device named twice, once through its link",
         {"write", file("fw_1.03.hex"), "--port", "COM1", "--port", (ports() / "COM1").string()},
         {"COM1 and " + (ports() / "COM1").string() + " are the same device"}},
        {"a read from two ports",
         {"read", file("out.hex"), "--port", "COM1", "--port", "COM2"},
         {"read takes one --port"}},
    };
    for (const auto& c : cases) {
        auto sim = startSim({});
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.exit, 2) << c.name << "\n" << run.err;
        for (const std::string& part : c.err)
            EXPECT_TRUE(has(run.err, part)) << c.name << ": " << run.err;
        EXPECT_EQ(stop(*sim), 0) << c.name;
        EXPECT_FALSE(has(contents(file("log.txt")), " rx ")) << c.name << ": a frame was sent";
    }
}

// Sessions that fail end with status 1 and the session's own message.
TEST_F(CliTest, FailedSessions) {
    firmware("fw_1.03.hex");
    struct Case {
        const char* name;
        Strings simArgs;
        Strings cliArgs;
        Strings err;
        int exit = 1;  // the device refused or failed
    };
    const std::vector<Case> cases{
        {"another model",
         {},
         {"--model", "16:32:49"},
         {"Model Error！\n", "The device reports model 16:32:48.\n"}},
        {"the handshake refused",
         {"--fault", "nak:1"},
         {"--model", "16:32:48"},
         {"The device refused the handshake"}},
        {"ten refusals",
         {"--fault", "nak:2-40"},
         {"--model", "16:32:48"},
         {"读写失败,地址 = 10\nFull address: 0x0100\n"}},
        {"the device hangs up",
         {"--fault", "hangup:3"},
         {"--model", "16:32:48"},
         {"Please reselect COM port!\n", "COM1: the line was hung up"}},
        {"a device that stays silent: none was reached",
         {"--fault", "drop:1-100"},
         {"--model", "16:32:48"},
         {"Check connection!Retry or cancel? Cancel (no terminal to ask)\n"},
         3},
    };
    for (const auto& c : cases) {
        auto sim = startSim(c.simArgs);
        Strings args{"write", file("fw_1.03.hex"), "--port", "COM1"};
        args.insert(args.end(), c.cliArgs.begin(), c.cliArgs.end());
        const CliRun run = cli(args);
        EXPECT_EQ(run.exit, c.exit) << c.name << "\n" << run.err;
        for (const std::string& part : c.err)
            EXPECT_TRUE(has(run.err, part)) << c.name << ": " << run.err;
        EXPECT_FALSE(has(run.out, "Successful")) << c.name;
        EXPECT_EQ(stop(*sim), 0) << c.name;
        EXPECT_TRUE(contents(file("dump.bin")) == std::string(kMemory, '\xFF'))
            << c.name << ": something was written";
    }
}

// Ctrl-C in a session closes the port the device sees and ends with status 1.
TEST_F(CliTest, CtrlCInASessionClosesThePort) {
    firmware("fw_1.03.hex");
    auto sim = startSim({"--fault", "drop:1-1000"});
    const CliRun run = runCliSignalled(
        {"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48"}, configHome(),
        [](const std::string& out) { return has(out, "Writing "); }, SIGINT);
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_TRUE(has(run.err, "Interrupted: the ports are closed.\n")) << run.err;
    EXPECT_EQ(stop(*sim), 0);
    EXPECT_TRUE(has(contents(file("log.txt")), "-- line closed")) << contents(file("log.txt"));
}

// Answers that could be taken for another frame's never end in a false success, and an
// acknowledged go stays a success when the device leaves the line at once. The firmware is
// one 16-byte block at 0x2000 whose bytes begin as an erase frame does; the frames are the
// handshake, the erase, the write command, its data block and the go.
TEST_F(CliTest, AnswersInDoubt) {
    const std::vector<std::uint8_t> block{0x55, 0x01, 0x00, 0x20, 0x00, 1, 2,  3,
                                          4,    5,    6,    7,    8,    9, 10, 11};
    {
        std::ofstream hex(file("fw_1.00.hex"), std::ios::binary);
        hex << image::testing::hexRecord(0x2000, 0, block) << "\r\n";
    }
    std::string expected(kMemory, '\xFF');
    std::copy(block.begin(), block.end(), expected.begin() + 0x2000);
    const std::vector<Strings> faults{
        // The block's acknowledgement comes after the echo of the resent write command, whose
        // own answer is lost: the device does not await a block then.
        {"--fault", "delay:4:1200", "--fault", "drop:5"},
        // The go's answer is lost; the resent go is acknowledged and the device leaves.
        {"--fault", "drop:5"},
    };
    for (const Strings& fault : faults) {
        SCOPED_TRACE(fault.back());
        Strings args = fault;
        args.insert(args.end(), {"--sessions", "1"});
        auto sim = startSim(args);
        const CliRun run =
            cli({"write", file("fw_1.00.hex"), "--port", "COM1", "--model", "16:32:48"});
        EXPECT_EQ(run.exit, 0) << run.err;
        EXPECT_TRUE(has(run.out, "\nSuccessful\n")) << run.out;
        EXPECT_EQ(sim->wait(), 0) << contents(file("log.txt"));
        EXPECT_TRUE(contents(file("dump.bin")) == expected) << "the dump differs from the image";
    }
}

// --verify reads the written range back before the go frame. The firmware lies in the read
// window, 0x8100 to 0x82FF: frames 1 to 13 write it (handshake, then erase, write command
// and block for each of its four units), 14 to 17 read it back, 18 is the go.
TEST_F(CliTest, VerifyAfterWrite) {
    std::string expected(kMemory, '\xFF');
    {
        std::ofstream hex(file("fw_1.00.hex"), std::ios::binary);
        std::ofstream low(file("low_1.00.hex"), std::ios::binary);
        for (unsigned address = 0x8100; address < 0x8300; address += 16) {
            std::vector<std::uint8_t> data;
            for (unsigned i = 0; i < 16; ++i)
                data.push_back(static_cast<std::uint8_t>(address + i));
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data) << "\n";
            low << image::testing::hexRecord(static_cast<std::uint16_t>(address - 0x8000), 0, data)
                << "\n";
            std::copy(data.begin(), data.end(), expected.begin() + address);
        }
    }
    struct Case {
        const char* name;
        Strings simArgs;
        const char* firmware;
        int exit;
        const char* said;  // in the output
        int stuckAt;       // 0: the dump is the image
    };
    const std::vector<Case> cases{
        {"a clean device", {}, "fw_1.00.hex", 0, "Verified: the device holds", 0},
        {"a read reply corrupted, then resent",
         {"--fault", "corrupt:15"},
         "fw_1.00.hex",
         0,
         "Verified: the device holds",
         0},
        {"read replies that keep failing name the device's address",
         {"--seed", "1", "--fault", "corrupt:14-100"},
         "fw_1.00.hex",
         1,
         "读写失败,地址 = 810\nFull address: 0x8100\n",
         0},
        {"a byte stuck at 00",
         {"--fault", "stuck:0x8123:0x00"},
         "fw_1.00.hex",
         4,
         "Verify failed: 0x8123 holds 00, not 23; 1 byte differs.",
         0x8123},
        {"a file below the read window", {}, "low_1.00.hex", 2, "--verify reads back only", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sim = startSim(c.simArgs);
        const CliRun run =
            cli({"write", file(c.firmware), "--port", "COM1", "--model", "16:32:48", "--verify"});
        EXPECT_EQ(run.exit, c.exit) << run.out << run.err;
        EXPECT_TRUE(has(run.out + run.err, c.said)) << run.out << run.err;
        EXPECT_EQ(has(run.out, "Verifying: reading the written bytes back\n"), c.exit != 2)
            << run.out;
        EXPECT_EQ(stop(*sim), 0) << contents(file("log.txt"));
        const std::string log = contents(file("log.txt"));
        EXPECT_EQ(has(log, " go 55 03"), c.exit == 0) << "a go frame only after a match";
        if (!c.simArgs.empty() && c.simArgs[1].starts_with("corrupt")) {
            EXPECT_TRUE(has(log, "#16 read 55 81 00 01 80"))
                << "the corrupted block was asked again";
        }
        if (c.stuckAt < 0) {
            EXPECT_FALSE(has(log, " rx ")) << "nothing was sent";
        } else if (c.stuckAt > 0) {
            std::string stuck = expected;
            stuck[static_cast<std::size_t>(c.stuckAt)] = '\0';
            EXPECT_TRUE(contents(file("dump.bin")) == stuck) << "the bad byte stays in the device";
        } else {
            EXPECT_TRUE(contents(file("dump.bin")) == expected) << "the dump differs";
        }
    }
    // Several ports at once, one device with the stuck byte: only that one fails.
    auto good = startSimAs(1, "1", {});
    auto stuck = startSimAs(2, "2", {"--fault", "stuck:0x8123:0x00"});
    const CliRun run = cli({"write", file("fw_1.00.hex"), "--model", "16:32:48", "--port", "COM1",
                            "--port", "COM2", "--verify"});
    EXPECT_EQ(stop(*good), 0);
    EXPECT_EQ(stop(*stuck), 0);
    EXPECT_EQ(run.exit, 4) << run.err;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\nCOM1 +[0-9.]+ +Successful, verified\n")))
        << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\nCOM2 +[0-9.]+ +Verify failed: 0x8123")))
        << run.out;
    EXPECT_TRUE(contents(file("dump1.bin")) == expected);
}

// --serial-at: each run takes the counter's number and writes it into the image, and --verify
// reads the patched bytes back. A board that fails leaves its number void.
TEST_F(CliTest, WriteWithASerialNumber) {
    const std::string memory = firmware("fw_1.03.hex", 0x8000);
    const std::string counter = file("counter.txt");
    std::ofstream(counter) << "41000\n";
    struct Case {
        Strings simArgs;
        int exit;
        const char* said;
        std::string dump;
    };
    std::string numbered = memory;
    numbered.replace(0x8202, 4, std::string("\x28\xA0\x00\x00", 4));  // 41000, u32le
    std::string stuck = memory;
    stuck.replace(0x8202, 4, std::string("\x00\xA0\x00\x00", 4));  // 41001, its 0x29 stuck
    const std::vector<Case> cases{
        {{}, 0, "\nSerial number 41000 written at 0x8202 (u32le).\n", numbered},
        {{"--fault", "stuck:0x8202:0x00"},
         4,
         "Serial number 41001 is void: the board did not pass; it is never handed out again",
         stuck},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        auto sim = startSim(c.simArgs);
        const CliRun run =
            cli({"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48", "--verify",
                 "--serial-at", "0x8202", "--serial-counter", counter});
        EXPECT_EQ(run.exit, c.exit) << run.out << run.err;
        EXPECT_TRUE(has(run.out + run.err, c.said)) << run.out << run.err;
        EXPECT_EQ(stop(*sim), 0) << contents(file("log.txt"));
        EXPECT_TRUE(contents(file("dump.bin")) == c.dump) << "the dump differs";
    }
    EXPECT_EQ(contents(counter), "41002\n");

    // Refused before any port opens: an address outside the file (no number taken), a number
    // the format cannot hold (void), no counter.
    struct Refusal {
        Strings args;
        const char* holds;  // the counter before; none: no counter
        const char* err;
        const char* leaves;
    };
    const std::vector<Refusal> refusals{
        {{"--serial-at", "0x9000"},
         "41000\n",
         "--serial-at 0x9000: 4 bytes do not fit in the image's range 0x8100 to 0x890F; no "
         "serial number was taken, nothing was sent\n",
         "41000\n"},
        {{"--serial-at", "0x8202", "--serial-format", "u16le"},
         "70000\n",
         "serial number 70000 does not fit u16le (at most 65535); serial number 70000 is void, "
         "nothing was sent\n",
         "70001\n"},
        {{"--serial-at", "0x8202"}, nullptr, "does not exist; make it holding the first", nullptr},
    };
    for (const Refusal& c : refusals) {
        SCOPED_TRACE(c.err);
        std::filesystem::remove(counter);
        if (c.holds != nullptr) std::ofstream(counter) << c.holds;
        auto sim = startSim({});
        Strings args{"write",   file("fw_1.03.hex"), "--port",           "COM1",
                     "--model", "16:32:48",          "--serial-counter", counter};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = cli(args);
        EXPECT_EQ(run.exit, 2) << run.out << run.err;
        EXPECT_TRUE(has(run.err, c.err)) << run.err;
        EXPECT_EQ(stop(*sim), 0);
        EXPECT_FALSE(has(contents(file("log.txt")), "-- line opened")) << "a port was opened";
        EXPECT_EQ(std::filesystem::exists(counter), c.leaves != nullptr);
        if (c.leaves != nullptr) {
            EXPECT_EQ(contents(counter), c.leaves);
        }
    }
}

TEST_F(CliTest, RetriesRecoverFromASilentSpell) {
    const std::string expected = firmware("fw_1.03.hex");
    // Six handshakes lost: five silent resends, then the prompt; its Retry is answered.
    auto sim = startSim({"--fault", "drop:1-6", "--sessions", "1"});
    const CliRun run = cli(
        {"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48", "--retries", "1"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err, "Check connection!Retry or cancel? Retry (1 of --retries 1)\n");
    EXPECT_EQ(sim->wait(), 0);
    EXPECT_TRUE(contents(file("dump.bin")) == expected);
}

// Without a terminal the prompt is answered by progress: six lost answers spread over an
// update (each an erase's, resent at once) bring the prompt, and the blocks accepted since the
// start answer it Retry. A silent device is still cancelled at its first prompt (above).
TEST_F(CliTest, AnUnattendedRunGoesOnWhileTheDeviceTakesBlocks) {
    const std::string expected = firmware("fw_1.03.hex");
    Strings args;
    for (const char* frame : {"2", "6", "10", "14", "18", "22"}) {
        args.insert(args.end(), {"--fault", std::string("drop:") + frame});
    }
    args.insert(args.end(), {"--sessions", "1"});
    auto sim = startSim(args);
    const CliRun run = cli({"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err,
              "Check connection!Retry or cancel? Retry (the device took more since the last "
              "time)\n");
    EXPECT_EQ(sim->wait(), 0);
    EXPECT_TRUE(contents(file("dump.bin")) == expected);
}

// On a terminal the prompt waits for the user, and the progress is one line redrawn.
TEST_F(CliTest, OnATerminalTheUserAnswersAndProgressIsOneLine) {
    const std::string expected = firmware("fw_1.03.hex");
    auto sim = startSim({"--fault", "drop:1-6", "--sessions", "1"});
    const CliRun run =
        runCliOnTerminal({"write", file("fw_1.03.hex"), "--port", "COM1", "--model", "16:32:48"},
                         configHome(), "[r]etry/[c]ancel: ", "r\n");
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_TRUE(has(run.out, "Check connection!Retry or cancel? [r]etry/[c]ancel: ")) << run.out;
    EXPECT_TRUE(has(run.out, "\r[##############################] 100%  2064/2064 bytes"))
        << run.out;
    EXPECT_TRUE(has(run.out, "\nSuccessful")) << run.out;
    EXPECT_EQ(sim->wait(), 0);
    EXPECT_TRUE(contents(file("dump.bin")) == expected);
}

// A port that cannot be opened: the session's message, then the system's reason; no device
// was reached.
TEST_F(CliTest, APortThatCannotBeOpened) {
    firmware("fw_1.03.hex");
    auto sim = startSim({});
    // Another program holds the port by the name the command line uses: its lock names it.
    QSerialPort holder(QString::fromStdString((ports() / "COM1").string()));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    std::string self;  // this program's name, as the system gives it
    std::getline(std::ifstream("/proc/self/comm"), self);
    struct Case {
        const char* name;
        const char* port;
        std::vector<std::string> reason;  // its parts
    };
    const std::vector<Case> cases{
        {"held by another program",
         "COM1",
         {"busy, another program has the port open (", "; held by ",
          self + " (pid " + std::to_string(::getpid()) + ")"}},
        {"missing, beside one that is there",
         "COM2",
         {"(is the adapter plugged in? comflash-cli ports lists the ports that open). The ports "
          "there are: COM1 (/dev/pts/"}},
        {"missing", "/dev/comflash-none", {"/dev/comflash-none: No such file or directory"}},
        {"standing for no device", "COM70", {"COM70 stands for no device"}},
    };
    for (const auto& c : cases) {
        const CliRun run =
            cli({"write", file("fw_1.03.hex"), "--port", c.port, "--model", "16:32:48"});
        EXPECT_EQ(run.exit, 3) << c.name;
        EXPECT_TRUE(has(run.err, "Please reselect COM port!\n")) << c.name << ": " << run.err;
        for (const std::string& part : c.reason) {
            EXPECT_TRUE(has(run.err, part)) << c.name << ": " << run.err;
        }
    }
    holder.close();
    EXPECT_EQ(stop(*sim), 0);
    EXPECT_FALSE(has(contents(file("log.txt")), " rx "));
}

// Several devices at once: each healthy one gets the image, with the very frames it sees
// alone; each failed one is named in the table with its own words.
TEST_F(CliTest, SeveralPortsEachAsIfAlone) {
    const std::string expected = firmware("fw_1.03.hex");
    struct Device {
        Strings args;
        const char* model;
        const char* result;
    };
    const std::vector<Device> devices = {
        {{}, "16:32:48", "Successful"},
        {{}, "1:2:3", "Model Error！"},
        {{"--fault", "drop:1-1000"}, "16:32:48", "Check connection!Retry or cancel\\? Cancel"},
        {{"--fault", "nak:4", "--fault", "garbage:9"}, "16:32:48", "Successful"},
    };
    std::vector<std::unique_ptr<SimProcess>> sims;
    Strings args = {"write", file("fw_1.03.hex"), "--model", "16:32:48"};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        sims.push_back(startSimAs(static_cast<int>(i) + 1, std::to_string(i + 1), devices[i].args,
                                  devices[i].model));
        args.insert(args.end(), {"--port", "COM" + std::to_string(i + 1)});
    }
    const CliRun run = cli(args);
    for (auto& sim : sims) EXPECT_EQ(stop(*sim), 0);
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_TRUE(has(run.out, "\n2 of 4 ports succeeded.\n")) << run.out;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        SCOPED_TRACE("COM" + n);
        const std::regex row("\nCOM" + n + " +[0-9]+\\.[0-9] +" + devices[i].result + "\n");
        EXPECT_TRUE(std::regex_search(run.out, row)) << run.out;
        const bool success = std::string(devices[i].result) == "Successful";
        const std::string dump = contents(file(("dump" + n + ".bin").c_str()));
        EXPECT_TRUE(dump == (success ? expected : std::string(kMemory, '\xFF')));
        if (!success) continue;
        auto alone = startSim(devices[i].args);
        EXPECT_EQ(cli({"write", file("fw_1.03.hex"), "--model", "16:32:48", "--port", "COM1"}).exit,
                  0);
        EXPECT_EQ(stop(*alone), 0);
        EXPECT_EQ(frames(file(("log" + n + ".txt").c_str())), frames(file("log.txt")));
    }
}

// On a terminal each port has one line, drawn again in place until the table.
TEST_F(CliTest, SeveralPortsOnATerminal) {
    firmware("fw_1.03.hex");
    auto one = startSimAs(1, "1", {"--line-timing"});
    auto two = startSimAs(2, "2", {"--line-timing"});
    const CliRun run = runCliOnTerminal(
        {"write", file("fw_1.03.hex"), "--port", "COM1", "--port", "COM2", "--model", "16:32:48"},
        configHome(), "never asked", "");
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_TRUE(has(run.out, "\x1b[2A\rCOM1  [")) << "the two lines are drawn again";
    EXPECT_TRUE(has(run.out, "] 100%  Successful\x1b[K\r\n\rCOM2  [")) << run.out;
    EXPECT_EQ(stop(*one) + stop(*two), 0);
}

// A port the user may not open says so: who may open it and what would help, never to join
// root. The device is the simulator's pseudo-terminal, given to root and run as nobody.
TEST_F(CliTest, ADeniedPortSaysWhoMayOpenIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to make a device the user nobody may not open";
    }
    firmware("fw_1.03.hex");
    std::filesystem::permissions(folder_.path(), std::filesystem::perms::all);
    auto sim = startSim({});
    const std::string device = std::filesystem::canonical(ports() / "COM1").string();
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    struct Case {
        const char* name;
        mode_t mode;
        gid_t group;
        const char* says;
    };
    const std::vector<Case> cases{
        {"root's alone", 0600, 0,
         ": Permission denied; only user root may open it (mode 0600, owner root, group root): "
         "an administrator, or a udev rule"},
        {"root's and a group's", 0660, dialout->gr_gid,
         ": Permission denied; only user root and the group dialout may open it (mode 0660, owner "
         "root, group dialout): join the group with sudo usermod -aG dialout \"$USER\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(::chown(device.c_str(), 0, c.group), 0);
        ASSERT_EQ(::chmod(device.c_str(), c.mode), 0);
        const CliRun read =
            runCliAs("nobody", {"read", file("out.hex"), "--port", device, "--model", "16:32:48"},
                     configHome());
        EXPECT_EQ(read.exit, 3) << read.err;
        EXPECT_TRUE(has(read.err, "Please reselect COM port!\n" + device + c.says)) << read.err;
        EXPECT_FALSE(has(read.err, "-aG root")) << read.err;
        const CliRun station = runCliAs(
            "nobody",
            {"station", file("fw_1.03.hex"), "--port", device, "--model", "16:32:48", "--log",
             file("station.csv")},
            configHome(), [](const std::string& out) { return has(out, "trying it again"); },
            SIGINT);
        EXPECT_TRUE(has(station.out, "the port cannot be opened: " + device + c.says))
            << station.out;
        // COM1 led to the device itself (the simulator's own link lies in a folder only root
        // may search): the listing names the link and the device.
        std::filesystem::remove(ports() / "COM1");
        std::filesystem::create_symlink(device, ports() / "COM1");
        const CliRun listing = runCliAs("nobody", {"ports"}, configHome());
        EXPECT_TRUE(has(listing.err, "No port from COM1 to COM99 opens.\nCOM1  " +
                                         (ports() / "COM1").string() + " -> " + device + c.says))
            << listing.err;
    }
    EXPECT_EQ(stop(*sim), 0);
    EXPECT_FALSE(has(contents(file("log.txt")), " rx "));
}

// The window program answers --help and --version without a window, and says plainly that it
// has no display to open one on, rather than ending with a core dump.
TEST(WindowProgram, HelpVersionAndNoDisplay) {
    struct Case {
        const char* args;
        int exit;
        const char* says;
    };
    const Case cases[] = {
        {"--help", 0, "Usage: comflash\n"},
        {"--version", 0, "comflash 0."},
        {"", 1, "comflash: no display to open the window on"},
    };
    for (const Case& c : cases) {
        const std::string command =
            std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") + COMFLASH_WINDOW +
            " " + c.args + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[256];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) {
            out.append(buffer, got);
        }
        const int status = ::pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exit) << c.args << ": " << out;
        EXPECT_TRUE(has(out, c.says)) << c.args << ": " << out;
    }
}

TEST_F(CliTest, PortsListsThePortsThatOpen) {
    auto sim = startSim({});
    std::filesystem::create_symlink("/dev/comflash-none", ports() / "COM2");
    const CliRun run = cli({"ports"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_TRUE(has(run.out, "COM1  " + (ports() / "COM1").string() + " -> /dev/pts/")) << run.out;
    EXPECT_FALSE(has(run.out, "COM2 ")) << run.out;
    EXPECT_EQ(stop(*sim), 0);
}

}  // namespace
}  // namespace comflash::e2e

namespace comflash::e2e {
namespace {

// Two fixtures of three boards each, one with a board that fails its verify (and is taken out
// after a while), one whose line goes away between boards. The station gets Ctrl-C once the
// sixth board is recorded.
TEST_F(CliTest, StationFlashesEveryBoardOnceAndRecordsIt) {
    const std::string memory = firmware("Fw_1.03.hex", 0x8000);
    auto first = startSimAs(1, "A",
                            {"--boards", "3", "--board-gap", "1000", "--board-stay", "5000",
                             "--board-fault", "2:stuck:0x8110:0x00"});
    auto second = startSimAs(2, "B", {"--boards", "3", "--board-gap", "1000", "--board-unplug"});
    const std::string log = file("station.csv");
    const CliRun run = runCliSignalled(
        {"station", file("Fw_1.03.hex"), "--port", "COM1", "--port", "COM2", "--model", "16:32:48",
         "--verify", "--log", log},
        configHome(),
        [](const std::string& out) {
            int boards = 0;
            for (auto at = out.find(": board "); at != std::string::npos;
                 at = out.find(": board ", at + 1)) {
                ++boards;
            }
            return boards == 6;
        },
        SIGINT);
    EXPECT_EQ(run.exit, 1) << run.out << run.err;
    EXPECT_TRUE(has(run.out, "6 boards: 5 passed, 1 failed")) << run.out;
    EXPECT_EQ(first->wait(), 0);
    EXPECT_EQ(second->wait(), 0);

    std::istringstream in(contents(log));
    Strings lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << contents(log);
    EXPECT_EQ(lines[0].rfind("time_utc,port,device,firmware,sha256,", 0), 0u);
    int passed = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        passed += has(lines[i], ",succeeded,yes,");
        EXPECT_TRUE(has(lines[i], ",Fw_1.03.hex,")) << lines[i];
        EXPECT_TRUE(has(lines[i], ",16:32:48,1.3,")) << lines[i];
        // The port as named, and the device its link led to for that board.
        EXPECT_TRUE(std::regex_search(lines[i], std::regex("^[^,]+,COM[12],/dev/pts/[0-9]+,")))
            << lines[i];
    }
    EXPECT_EQ(passed, 5);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return has(l, ",verify-failed,no,"); }),
              1);
    for (const char* tag : {"A", "B"}) {
        for (int board = 1; board <= 3; ++board) {
            SCOPED_TRACE(std::string(tag) + " board " + std::to_string(board));
            std::string expected = memory;
            if (*tag == 'A' && board == 2) expected[0x8110] = '\0';
            const std::string dump = contents(
                file(("dump" + std::string(tag) + ".bin." + std::to_string(board)).c_str()));
            EXPECT_TRUE(dump == expected) << "the board's memory";
        }
    }
}

}  // namespace
}  // namespace comflash::e2e

namespace comflash::e2e {
namespace {

// Every line of standard output as a JSON object; a line that is none fails the test.
std::vector<nlohmann::json> jsonLines(const std::string& out) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto object = nlohmann::json::parse(line, nullptr, false);
        EXPECT_TRUE(object.is_object() && object["schema"] == 1) << line;
        objects.push_back(object);
    }
    return objects;
}

// --json: standard output holds JSON objects alone, the steps as they start, the progress and
// one result whose fields are the session's end; the exit status says what to do next.
TEST_F(CliTest, JsonLinesForScripts) {
    firmware("fw_1.03.hex");
    {
        std::ofstream hex(file("fw_1.00.hex"), std::ios::binary);  // 0x8100 to 0x82FF
        for (unsigned address = 0x8100; address < 0x8300; address += 16) {
            std::vector<std::uint8_t> data;
            for (unsigned i = 0; i < 16; ++i)
                data.push_back(static_cast<std::uint8_t>(address + i));
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data) << "\n";
        }
    }
    // Each 128-byte unit is erased, then written.
    const auto units = [](int count, Strings steps, const Strings& after) {
        for (int i = 0; i < count; ++i) steps.insert(steps.end(), {"erase", "write"});
        steps.insert(steps.end(), after.begin(), after.end());
        return steps;
    };
    struct Case {
        const char* name;
        Strings simArgs;
        Strings cliArgs;
        int exit;
        Strings steps;          // the step objects' steps, in order
        nlohmann::json result;  // fields the result object must hold
    };
    const std::vector<Case> cases{
        {"a clean write",
         {},
         {file("fw_1.03.hex"), "--port", "COM1"},
         0,
         units(17, {"handshake"}, {"go"}),  // 0x0100 to 0x090F
         {{"outcome", "succeeded"},
          {"message", "Successful"},
          {"bytes", 2064},
          {"verified", false},
          {"address", nullptr},
          {"fault", nullptr}}},
        {"a byte that differs after the write",
         {"--fault", "stuck:0x8123:0x00"},
         {file("fw_1.00.hex"), "--port", "COM1", "--verify"},
         4,
         units(4, {"handshake"}, {"verify"}),
         {{"outcome", "verify-failed"},
          {"mismatch", {{"address", 0x8123}, {"count", 1}, {"expected", 0x23}, {"actual", 0}}},
          {"bytes", 512},
          {"verified", false}}},
        {"a port with no device",
         {},
         {file("fw_1.03.hex"), "--port", "/dev/comflash-none"},
         3,
         {},
         {{"outcome", "port-unavailable"},
          {"message", "Please reselect COM port!"},
          {"fault",
           {{"kind", "not-found"},
            {"device", "/dev/comflash-none"},
            {"text", "No such file or directory"}}},
          {"bytes", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sim = startSim(c.simArgs);
        Strings args{"write", "--json", "--model", "16:32:48"};
        args.insert(args.end(), c.cliArgs.begin(), c.cliArgs.end());
        const CliRun run = cli(args);
        EXPECT_EQ(stop(*sim), 0);
        EXPECT_EQ(run.exit, c.exit) << run.err;
        const auto objects = jsonLines(run.out);
        ASSERT_FALSE(objects.empty()) << run.out;
        Strings steps;
        std::int64_t done = -1;
        for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
            const auto& object = objects[i];
            EXPECT_EQ(object["port"], c.cliArgs[2]);
            if (object["type"] == "step") {
                steps.push_back(object["step"]);
                if (object["step"] == "verify") done = -1;  // the pass counts from nothing
            } else {
                ASSERT_EQ(object["type"], "progress") << object;
                EXPECT_EQ(object["step"], steps.empty() ? "" : steps.back()) << object;
                EXPECT_GE(object["done"], done) << "progress goes forward";
                done = object["done"];
            }
        }
        EXPECT_EQ(steps, c.steps);
        const auto& result = objects.back();
        EXPECT_EQ(result["type"], "result");
        EXPECT_EQ(result["command"], "write");
        EXPECT_EQ(result["file"], c.cliArgs[0]);
        EXPECT_EQ(result["exit"], c.exit);
        for (const auto& [key, value] : c.result.items()) EXPECT_EQ(result[key], value) << key;
    }
    // The ports listing: an object per port (this machine's own serial ports among them).
    auto sim = startSim({});
    const CliRun ports = cli({"ports", "--json"});
    EXPECT_EQ(ports.exit, 0);
    const auto listed = jsonLines(ports.out);
    const auto com1 = std::find_if(listed.begin(), listed.end(),
                                   [](const auto& port) { return port["name"] == "COM1"; });
    ASSERT_NE(com1, listed.end()) << ports.out;
    for (const auto& port : listed) EXPECT_EQ(port["type"], "port") << port;
    EXPECT_EQ((*com1)["path"], (this->ports() / "COM1").string());
    EXPECT_EQ((*com1)["device"].get<std::string>().rfind("/dev/pts/", 0), 0u) << *com1;
    EXPECT_EQ((*com1)["opens"], true);
    EXPECT_EQ(stop(*sim), 0);
}

}  // namespace
}  // namespace comflash::e2e
