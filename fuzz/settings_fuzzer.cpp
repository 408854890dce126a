// The settings store's text: the values file and the key-name encoding. Every name and value
// survives a round trip (decode(encode(x)) = x, parse(serialize(values)) = values); a key
// folder name is never empty, ".", ".." or a path, and names equal but for ASCII case share
// it; a values file that parses serializes to a file that parses to the same values.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "check.h"
#include "settings/ascii_case.h"
#include "settings/key_folder.h"
#include "settings/key_values.h"
#include "settings/percent_encoding.h"

using namespace comflash;
using namespace comflash::settings;

namespace {

bool keepLetters(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether the text is well-formed UTF-8: the encodings keep only such sequences raw.
bool wellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || text.size() - at < length) return false;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string folded(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = foldAsciiCase(c);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);

    const std::string bytes = input.ConsumeRandomLengthString(200);
    const std::string encoded = percentEncode(bytes, keepLetters);
    COMFLASH_CHECK(percentDecode(encoded) == bytes, "decode(encode(x)) = x");
    COMFLASH_CHECK(wellFormedUtf8(encoded), "an encoding is UTF-8 text");

    const std::string folder = keyFolderName(bytes);
    COMFLASH_CHECK(!folder.empty() && folder != "." && folder != "..", "a folder name");
    COMFLASH_CHECK(folder.find_first_of("/.\\") == std::string::npos, "no path in a folder name");
    COMFLASH_CHECK(wellFormedUtf8(folder), "a folder name is UTF-8 text");
    COMFLASH_CHECK(folder == keyFolderName(folded(bytes)), "names equal but for case share it");
    COMFLASH_CHECK(bytes.empty() || percentDecode(folder) == folded(bytes),
                   "a folder name decodes to the folded key name");

    // Values set one by one survive the file.
    KeyValues values;
    std::vector<StoredValue> expected;
    for (int n = input.ConsumeIntegralInRange(0, 6); n > 0; --n) {
        StoredValue value{input.ConsumeRandomLengthString(30),
                          static_cast<ValueType>(input.ConsumeIntegral<std::uint32_t>()),
                          input.ConsumeRandomLengthString(60)};
        values.set(value.name, value.type, value.data);
        bool replaced = false;
        for (auto& earlier : expected) {
            if (sameName(earlier.name, value.name)) {
                earlier.type = value.type;
                earlier.data = value.data;
                replaced = true;
            }
        }
        if (!replaced) expected.push_back(value);
    }
    const std::string file = values.serialize();
    COMFLASH_CHECK(wellFormedUtf8(file), "a values file is UTF-8 text");
    const auto reread = KeyValues::parse(file);
    COMFLASH_CHECK(reread.has_value(), "a values file parses");
    for (const auto& value : expected) {
        const StoredValue* found = reread->find(value.name);
        COMFLASH_CHECK(found != nullptr && found->name == value.name && found->type == value.type &&
                           found->data == value.data,
                       "parse(serialize(values)) = values");
    }
    COMFLASH_CHECK(reread->serialize() == file, "serialize(parse(file)) = file");

    // Any text: what parses, serializes to a file that parses alike.
    const std::string text = input.ConsumeRemainingBytesAsString();
    if (const auto parsed = KeyValues::parse(text)) {
        const std::string again = parsed->serialize();
        const auto reparsed = KeyValues::parse(again);
        COMFLASH_CHECK(reparsed && reparsed->serialize() == again, "a parsed file round-trips");
    }
    return 0;
}
