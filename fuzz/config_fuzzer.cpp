// Config.txt (and a stored port number) through start-up: the main window's Load handler on
// the headless toolkit. Start-up either loads, with every setting what the items say, or
// fails with exactly one message that names the file and the reason; the numbers read as a
// reference reader gives them: its own scan, then strtod in the "C" locale.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/config_file.h"
#include "app/conversions.h"
#include "check.h"
#include "desktop/main_window.h"
#include "settings/registry_store.h"
#include "ui/headless/headless_toolkit.h"

using namespace comflash;

namespace {

class StoredPort : public settings::RegistryStore {
  public:
    explicit StoredPort(std::string value) : value_(std::move(value)) {}
    bool WriteRegValue(settings::RootKey, const std::string&, const std::string&,
                       const std::string&) override {
        return true;
    }
    std::string ReadRegValue(settings::RootKey, const std::string&, const std::string&) override {
        return value_;
    }

  private:
    std::string value_;
};

bool digit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The length of the number at the start of `text`: "&H" and up to 16 hexadecimal digits, or
// a sign, digits with an optional fraction and an optional exponent; and its value.
std::pair<std::size_t, double> referenceNumber(std::string_view text) {
    if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
        std::size_t n = 2;
        double value = 0;
        for (; n < text.size() && n < 18 && hexDigit(text[n]) >= 0; ++n) {
            value = value * 16 + hexDigit(text[n]);
        }
        return {n > 2 ? n : 0, value};
    }
    std::size_t n = text.starts_with('+') || text.starts_with('-') ? 1 : 0;
    std::size_t digits = 0;
    for (; n < text.size() && digit(text[n]); ++n) ++digits;
    if (n < text.size() && text[n] == '.') {
        for (++n; n < text.size() && digit(text[n]); ++n) ++digits;
    }
    if (digits == 0) return {0, 0};
    if (n < text.size() && (text[n] == 'e' || text[n] == 'E')) {
        std::size_t e = n + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && digit(text[e])) {
            for (n = e; n < text.size() && digit(text[n]);) ++n;
        }
    }
    return {n, std::strtod(std::string(text.substr(0, n)).c_str(), nullptr)};
}

double halfEven(double value) {
    return std::nearbyint(value);  // the default rounding mode: to nearest, ties to even
}

std::optional<std::uint8_t> referenceByte(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const auto [length, value] = referenceNumber(text);
    if (length == 0 || length != text.size()) return std::nullopt;
    const double rounded = halfEven(value);
    if (!(rounded >= 0 && rounded <= 255)) return std::nullopt;
    return static_cast<std::uint8_t>(rounded);
}

std::optional<std::int16_t> referencePort(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    const double rounded = halfEven(referenceNumber(text).second);
    if (!(rounded >= -32768 && rounded <= 32767)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::string folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = "/tmp/comflash-fuzz-config-XXXXXX";
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') {
        pattern = std::string(tmp) + "/comflash-fuzz-config-XXXXXX";
    }
    if (mkdtemp(pattern.data()) != nullptr) folder = pattern;
    std::atexit([] { std::filesystem::remove_all(folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    COMFLASH_CHECK(!folder.empty(), "a folder for Config.txt");
    FuzzedDataProvider input(data, size);
    const std::string stored = input.ConsumeRandomLengthString(40);
    const std::string text = input.ConsumeRemainingBytesAsString();
    std::ofstream(folder + "/Config.txt", std::ios::binary | std::ios::trunc) << text;

    AppState state;
    ui::headless::HeadlessToolkit toolkit;
    StoredPort store(stored);
    desktop::MainWindow form(state, toolkit, store, folder);
    const bool loaded = form.show();

    // What start-up should make of it, item by item; a leading UTF-8 byte-order mark is no
    // part of the text.
    std::string_view body = text;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    const std::vector<std::string> items = app::splitConfigItems(body);
    for (const auto& item : items) {
        COMFLASH_CHECK(item.find_first_of("\r\n") == std::string::npos, "an item within a line");
    }
    std::string expectedFault;
    std::array<std::uint8_t, 3> model{};
    if (items.size() < 4) {
        expectedFault = "items found, 4 needed";
    } else if (const auto parts = app::splitModelParts(items[0]); parts.size() < 3) {
        expectedFault = "part(s); 3 are needed";
    } else {
        for (std::size_t i = 0; i < 3 && expectedFault.empty(); ++i) {
            const auto byte = referenceByte(parts[i]);
            COMFLASH_CHECK(byte == app::toByte(parts[i]), "a model part reads as the reference");
            if (!byte) expectedFault = "part " + std::to_string(i + 1) + " of the model";
            model[i] = byte.value_or(0);
        }
    }

    COMFLASH_CHECK(loaded == expectedFault.empty(), "start-up loads exactly when it should");
    if (!loaded) {
        COMFLASH_CHECK(toolkit.messages().size() == 1, "one message for a failed start-up");
        COMFLASH_CHECK(toolkit.messages()[0].text == form.failure(), "the message is the failure");
        COMFLASH_CHECK(form.failure().find("Config.txt") != std::string::npos,
                       "the failure names the file");
        COMFLASH_CHECK(form.failure().find(expectedFault) != std::string::npos,
                       "the failure names the reason");
        return 0;
    }
    COMFLASH_CHECK(toolkit.messages().empty(), "no message after a good start-up");
    COMFLASH_CHECK(state.ModelId == model, "the model identifier");
    COMFLASH_CHECK(state.RegistryKeyPath == "SoftWare\\" + items[1] + "\\Update", "the key path");
    COMFLASH_CHECK(state.AppTitle == (items[2].empty() ? "Update" : items[2]), "the title");
    COMFLASH_CHECK(form.window().caption() == state.AppTitle, "the caption");
    COMFLASH_CHECK(form.window().label("LabelVersion").caption() ==
                       "Version:" + (items[3].empty() ? std::string("Unknow") : items[3]),
                   "the version line");
    const auto port = stored.empty() ? std::optional<std::int16_t>(1) : referencePort(stored);
    COMFLASH_CHECK(port == app::leadingNumberToInt16(stored) || stored.empty(),
                   "a stored port reads as the reference");
    COMFLASH_CHECK(state.ComPortNumber == port.value_or(0), "the port number");
    return 0;
}
