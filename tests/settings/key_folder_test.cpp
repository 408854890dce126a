#include "settings/key_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/percent_encoding.h"

namespace comflash::settings {
namespace {

using namespace std::string_literals;

bool keepLetters(char c) {
    return c >= 'a' && c <= 'z';
}

TEST(PercentEncoding, KeepsChosenAsciiAndWellFormedUtf8) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"abc", "abc"},
        {"a b", "a%20b"},
        {"%", "%25"},
        {"\n\r\t\x7f"s, "%0A%0D%09%7F"},
        {"\0"s, "%00"},
        {"A.", "%41%2E"},
        {"\xe6\x96\x87", "\xe6\x96\x87"},          // 文
        {"\xc3\xa4", "\xc3\xa4"},                  // ä
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},  // U+1F600
        {"\xe6\x96", "%E6%96"},                    // cut short
        {"\xe6\x96z", "%E6%96z"},                  // cut short before ASCII
        {"\xc0\xaf", "%C0%AF"},                    // overlong "/"
        {"\xe0\x80\xaf", "%E0%80%AF"},             // overlong "/"
        {"\xed\xa0\x80", "%ED%A0%80"},             // surrogate
        {"\xf4\x90\x80\x80", "%F4%90%80%80"},      // above U+10FFFF
        {"\xff\xfe", "%FF%FE"},                    // never in UTF-8
        {"\x80", "%80"},                           // stray continuation byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(percentEncode(c.bytes, keepLetters), c.text) << c.text;
        EXPECT_EQ(percentDecode(c.text), c.bytes) << c.text;
    }
}

TEST(PercentEncoding, EveryByteRoundTrips) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    EXPECT_EQ(percentDecode(percentEncode(all, keepLetters)), all);
}

TEST(PercentEncoding, RejectsBrokenEscapes) {
    for (const char* text : {"%", "%4", "a%4", "%G1", "%1G", "% 41"}) {
        EXPECT_EQ(percentDecode(text), std::nullopt) << text;
    }
    EXPECT_EQ(percentDecode("%4a%4A"), "JJ");
}

TEST(KeyFolder, MapsEveryKeyNameToOneFolderBelowTheRoot) {
    struct Case {
        std::string keyPath;
        std::string folder;
    };
    const Case cases[] = {
        {"SoftWare\\Maker\\Update", "HKEY_LOCAL_MACHINE/software/maker/update"},
        {"SOFTWARE\\maker\\UPDATE", "HKEY_LOCAL_MACHINE/software/maker/update"},
        {"SoftWare\\\\Update", "HKEY_LOCAL_MACHINE/software/%/update"},
        {"SoftWare\\..\\Update", "HKEY_LOCAL_MACHINE/software/%2E%2E/update"},
        {"SoftWare\\.\\Update", "HKEY_LOCAL_MACHINE/software/%2E/update"},
        {"SoftWare\\../../etc\\Update", "HKEY_LOCAL_MACHINE/software/%2E%2E%2F%2E%2E%2Fetc/update"},
        {"SoftWare\\a/b\\Update", "HKEY_LOCAL_MACHINE/software/a%2Fb/update"},
        {"SoftWare\\My Tool \"2\"\\Update",
         "HKEY_LOCAL_MACHINE/software/my%20tool%20%222%22/update"},
        {"SoftWare\\\xe6\x96\x87\xe6\xa1\xa3\\Update",
         "HKEY_LOCAL_MACHINE/software/\xe6\x96\x87\xe6\xa1\xa3/update"},
        {"SoftWare\\%\\Update", "HKEY_LOCAL_MACHINE/software/%25/update"},
        {"SoftWare\\values.txt\\Update", "HKEY_LOCAL_MACHINE/software/values%2Etxt/update"},
        {"SoftWare\\a\nb\\Update", "HKEY_LOCAL_MACHINE/software/a%0Ab/update"},
        {"SoftWare\\Maker-1_x\\Update", "HKEY_LOCAL_MACHINE/software/maker-1_x/update"},
        {"", "HKEY_LOCAL_MACHINE"},
        {"\\", "HKEY_LOCAL_MACHINE/%/%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keyFolder(RootKey::LocalMachine, c.keyPath), c.folder) << c.keyPath;
    }
}

TEST(KeyFolder, UnknownRootHasNoFolder) {
    EXPECT_EQ(keyFolder(static_cast<RootKey>(0x80000001u), "SoftWare\\Maker\\Update"),
              std::nullopt);
}

}  // namespace
}  // namespace comflash::settings
