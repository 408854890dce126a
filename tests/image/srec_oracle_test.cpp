// srecord's srec_cat writes firmware files from random data and converts them back to binary;
// the image and bounds the loader makes from each file must match what srec_cat reads in it.
// It also reads the files the Save command writes.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/hex_loader.h"
#include "image/hex_writer.h"
#include "temp_folder.h"

namespace comflash::image {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kTopByte = 0x5A;

struct Segment {
    unsigned address;
    std::size_t length;
};

struct OracleCase {
    std::string name;
    std::vector<Segment> segments;
    int blockSize;
    bool addressRecord;  // a leading type 04 record
    bool endRecord;
    bool crlf;
};

// Appended piece by piece: "'" + std::string trips GCC 12's false -Wrestrict when optimising.
std::string quoted(const fs::path& path) {
    std::string text(1, '\'');
    text += path.string();
    text += '\'';
    return text;
}

void srecCat(const std::string& arguments) {
    const std::string command = std::string("'") + COMFLASH_SREC_CAT + "' " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string readText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Random segments, written as a firmware file by srec_cat with the case's options.
fs::path writeFirmware(const fs::path& folder, const OracleCase& c, unsigned seed) {
    std::mt19937 random(seed);
    std::string inputs;
    for (std::size_t i = 0; i < c.segments.size(); ++i) {
        const fs::path segment = folder / ("segment" + std::to_string(i) + ".bin");
        std::ofstream out(segment, std::ios::binary);
        for (std::size_t n = 0; n < c.segments[i].length; ++n) {
            out.put(static_cast<char>(random() & 0xFF));
        }
        inputs +=
            quoted(segment) + " -binary -offset " + std::to_string(c.segments[i].address) + " ";
    }
    const fs::path firmware = folder / "firmware.hex";
    srecCat(inputs + "-o " + quoted(firmware) + " -Intel -obs " + std::to_string(c.blockSize) +
            (c.addressRecord ? "" : " -address-length=2") +
            (c.endRecord ? "" : " -disable=footer") + (c.crlf ? " -CRLF" : ""));
    return firmware;
}

AppState loadFirmware(const fs::path& firmware, LoadResult& result) {
    AppState state;
    state.FirmwareImage[0xFFFF] = kTopByte;
    FillFirmwareImage(state.FirmwareImage);
    HexReader reader(state);
    std::ifstream file(firmware, std::ios::binary);
    result = LoadHexFile(file, reader);
    return state;
}

TEST(SrecOracle, ImageAndBoundsMatchWhatSrecCatReads) {
    const std::vector<OracleCase> cases = {
        {"16-byte lines", {{0x0010, 300}, {0x0400, 1}, {0x1234, 777}}, 16, true, true, false},
        {"32-byte lines up to 0xFFFF",
         {{0x0000, 129}, {0x8000, 4096}, {0xFF00, 256}},
         32,
         false,
         false,
         false},
        {"255-byte lines", {{0x0003, 1000}, {0x2000, 255}, {0x3001, 600}}, 255, true, true, true},
        {"255-byte lines, no end record",
         {{0x7F81, 2000}, {0xFE00, 0x1FF}},
         255,
         true,
         false,
         false},
        {"one byte", {{0x4000, 1}}, 32, false, true, true},
    };
    std::string pattern;
    for (unsigned index = 0; index < 128; ++index) {
        pattern += ' ';
        pattern += std::to_string(FillByte(index));
    }
    unsigned seed = 1;
    for (const OracleCase& c : cases) {
        SCOPED_TRACE(c.name);
        comflash::test::TempFolder folder;
        const fs::path firmware = writeFirmware(folder.path(), c, seed++);
        const std::string text = readText(firmware);
        // The file really has the shape the case is about.
        ASSERT_EQ(text.starts_with(":020000040000FA"), c.addressRecord);
        ASSERT_EQ(text.find(":00000001FF") != std::string::npos, c.endRecord);
        ASSERT_EQ(text.find('\r') != std::string::npos, c.crlf);

        // The bytes alone, the bytes from the lowest address on, and the whole image with
        // every gap holding the fill pattern.
        const fs::path plain = folder.path() / "plain.bin";
        const fs::path trimmed = folder.path() / "trimmed.bin";
        const fs::path filled = folder.path() / "filled.bin";
        const std::string in = quoted(firmware) + " -Intel";
        srecCat(in + " -o " + quoted(plain) + " -binary");
        srecCat(in + " -offset - -minimum-address " + in + " -o " + quoted(trimmed) + " -binary");
        srecCat(in + " -generate 0 0xFFFF -repeat-data" + pattern + " -exclude -within " + in +
                " -o " + quoted(filled) + " -binary");
        const auto plainSize = static_cast<std::int32_t>(fs::file_size(plain));
        const auto trimmedSize = static_cast<std::int32_t>(fs::file_size(trimmed));
        std::vector<std::uint8_t> expected = readBytes(filled);
        if (expected.size() == kLastFilledIndex + 1) expected.push_back(kTopByte);

        LoadResult result{};
        const AppState state = loadFirmware(firmware, result);
        EXPECT_EQ(result, LoadResult::Loaded);
        EXPECT_EQ(state.ImageEnd, plainSize - 1);
        EXPECT_EQ(state.ImageStart, plainSize - trimmedSize);
        ASSERT_EQ(expected.size(), kImageSize);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), state.FirmwareImage.begin()));
    }
}

TEST(SrecOracle, DataAboveSixtyFourKibibytesMakesTheFileFaulty) {
    comflash::test::TempFolder folder;
    const OracleCase above{"across 64 KiB", {{0xFFF0, 100}}, 32, true, true, false};
    LoadResult result{};
    loadFirmware(writeFirmware(folder.path(), above, 99), result);
    EXPECT_EQ(result, LoadResult::FaultyRecord);
}

// srec_cat checks the saved records and reads their bytes once the lines end in LF alone. The
// file as saved it reads only in part, with two warnings: every line after the first starts
// with the CR that ends the line before, which makes it a garbage line that srec_cat skips, and
// no end-of-file record follows.
TEST(SrecOracle, ReadsTheSavedRecords) {
    comflash::test::TempFolder folder;
    ImageBytes image{};
    std::mt19937 random(7);
    for (std::size_t i = 0; i < kSavedBytes; ++i) {
        const std::size_t block = i / kSavedBlockSize;
        if (block % 4 != 0 && i % kSavedBlockSize >= block % 5) {
            image[i] = static_cast<std::uint8_t>(random() & 0xFF);
        }
    }
    image[0x21] = 0x01;
    image[kSavedBytes - 1] = 0x01;
    std::string text = ReadBackHexText(image);
    const fs::path saved = folder.path() / "saved.hex";
    std::ofstream(saved, std::ios::binary) << text;
    std::erase(text, '\r');
    const fs::path lf = folder.path() / "lf.hex";
    std::ofstream(lf, std::ios::binary) << text;
    const std::string toBinary = " -Intel -offset - 0x8000 -o ";

    const fs::path all = folder.path() / "all.bin";
    srecCat(quoted(lf) + toBinary + quoted(all) + " -binary 2>/dev/null");
    EXPECT_TRUE(readBytes(all) ==
                std::vector<std::uint8_t>(image.begin(), image.begin() + kSavedBytes));

    const fs::path first = folder.path() / "first.bin";
    const fs::path warnings = folder.path() / "warnings.txt";
    srecCat(quoted(saved) + toBinary + quoted(first) + " -binary 2>" + quoted(warnings));
    EXPECT_EQ(readBytes(first), std::vector<std::uint8_t>(image.begin(), image.begin() + 0x40))
        << "the record of 0x8021 to 0x803F alone";
    std::string said;  // srec_cat wraps its lines to the terminal's width
    for (const char c : readText(warnings)) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            said += c;
        } else if (!said.empty() && said.back() != ' ') {
            said += ' ';
        }
    }
    EXPECT_NE(said.find(saved.string() + ": 2: warning: ignoring garbage lines"), std::string::npos)
        << said;
    EXPECT_NE(said.find("warning: no end-of-file record"), std::string::npos) << said;
}

}  // namespace
}  // namespace comflash::image
