#include "app/conversions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace comflash::app {
namespace {

struct Case {
    std::string text;
    std::optional<int> value;
};

const std::string kTooLarge = "1" + std::string(400, '0');
const std::string kTooSmall = "0." + std::string(400, '0') + "1";

const std::vector<Case> kModelParts{
    {"0", 0},        {"255", 255},  {" 12 ", 12},   {"&H10", 16},  {"&hff", 255}, {"2.5", 2},
    {"3.5", 4},      {"0.5", 0},    {"254.5", 254}, {"1.49", 1},   {"-0.4", 0},   {"+7", 7},
    {"1e2", 100},    {"2.5e1", 25}, {".5e1", 5},    {"1.", 1},     {"1e-400", 0}, {kTooSmall, 0},
    {"256", {}},     {"-1", {}},    {"255.5", {}},  {"&H100", {}}, {"x", {}},     {"", {}},
    {"1x", {}},      {"&H", {}},    {"&HG", {}},    {"1 2", {}},   {"1e999", {}}, {".", {}},
    {kTooLarge, {}}, {"3,5", {}},
};

const std::vector<Case> kStoredPorts{
    {"3", 3},        {" 12", 12},  {"7 and more", 7}, {"COM3", 0},        {"", 0},
    {"2.5", 2},      {"3.5", 4},   {"32767", 32767},  {"-32768", -32768}, {"99999", {}},
    {"32767.5", {}}, {"&H10", 16}, {"2.5e1", 25},     {"3,5", 3},         {"-1e999", {}},
    {"1e-400", 0},
};

void checkModelParts() {
    for (const auto& c : kModelParts) {
        const auto byte = toByte(c.text);
        ASSERT_EQ(byte.has_value(), c.value.has_value()) << c.text;
        if (byte) {
            EXPECT_EQ(*byte, *c.value) << c.text;
        }
    }
}

void checkStoredPorts() {
    for (const auto& c : kStoredPorts) {
        const auto number = leadingNumberToInt16(c.text);
        ASSERT_EQ(number.has_value(), c.value.has_value()) << c.text;
        if (number) {
            EXPECT_EQ(*number, *c.value) << c.text;
        }
    }
}

TEST(Conversions, ModelPartToByte) {
    checkModelParts();
}

TEST(Conversions, StoredPortNumber) {
    checkStoredPorts();
}

#ifndef _WIN32
// The C library's locale is glibc's here; Windows has locales of its own.
// Sets the C library's LC_NUMERIC to a locale whose decimal separator is a comma, as the
// toolkit does from LANG=de_DE.UTF-8, and back to "C" at the end. An installed German locale
// serves; without one, a locale that defines only LC_NUMERIC is made with localedef (part of
// the C library's own tools) in a temporary folder.
class CommaLocale {
  public:
    CommaLocale() {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr && hasDecimalComma()) return;
        if (folder_.path().empty()) return;
        const auto source = folder_.path() / "comma.def";
        std::ofstream(source) << "LC_NUMERIC\n"
                                 "decimal_point \"<U002C>\"\n"
                                 "thousands_sep \"<U002E>\"\n"
                                 "grouping 3;3\n"
                                 "END LC_NUMERIC\n";
        // localedef warns about the categories left out and exits non-zero, yet writes the
        // locale; whether it can be used is what counts.
        const std::string command = "localedef -c -i '" + source.string() + "' '" +
                                    (folder_.path() / "decimal-comma").string() +
                                    "' >/dev/null 2>&1";
        [[maybe_unused]] const int status = std::system(command.c_str());
        if (const char* previous = std::getenv("LOCPATH")) previousLocPath_ = previous;
        ::setenv("LOCPATH", folder_.path().c_str(), 1);
        if (std::setlocale(LC_NUMERIC, "decimal-comma") == nullptr) std::setlocale(LC_NUMERIC, "C");
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, "C");
        if (previousLocPath_) {
            ::setenv("LOCPATH", previousLocPath_->c_str(), 1);
        } else {
            ::unsetenv("LOCPATH");
        }
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    static bool hasDecimalComma() { return std::string(std::localeconv()->decimal_point) == ","; }

  private:
    test::TempFolder folder_;
    std::optional<std::string> previousLocPath_;
};

// Start-up reads Config.txt after the toolkit has set the locale from the environment. The
// same readings must come out whatever LC_NUMERIC says.
TEST(Conversions, TheCLibrarysLocaleChangesNothing) {
    CommaLocale comma;
    if (!CommaLocale::hasDecimalComma()) {
        GTEST_SKIP() << "no locale with a decimal comma could be installed or made";
    }
    ASSERT_EQ(std::strtod("3.5", nullptr), 3.0) << "the C library reads numbers with a comma now";
    checkModelParts();
    checkStoredPorts();
}
#endif

}  // namespace
}  // namespace comflash::app
