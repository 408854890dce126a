// The Windows store against the registry itself (Wine's, in the Windows test build).
#include "settings/windows_registry_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace comflash::settings {
namespace {

constexpr auto kRoot = RootKey::LocalMachine;

// A key of its own below SoftWare, in both HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER,
// removed with its values at the end.
class WindowsRegistryStoreTest : public ::testing::Test {
  protected:
    WindowsRegistryStoreTest()
        : name_("comflash-test-" + std::to_string(std::random_device()())),
          path_("SoftWare\\" + name_ + "\\Update") {}
    ~WindowsRegistryStoreTest() override {
        for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            HKEY software = nullptr;
            if (RegOpenKeyExA(root, "SoftWare", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS) {
                RegDeleteTreeA(software, name_.c_str());
                RegCloseKey(software);
            }
        }
    }

    // Stores raw data of any type, as another program might have.
    void putRaw(const char* value, DWORD type, const std::string& data,
                HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, value, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    const std::string name_;
    const std::string path_;
    WindowsRegistryStore store_;
};

TEST_F(WindowsRegistryStoreTest, MissingKeyThenFirstWriteCreatesThePath) {
    EXPECT_EQ(store_.ReadRegValue(kRoot, path_, "ComPort"), "");
    ASSERT_TRUE(store_.WriteRegValue(kRoot, path_, "ComPort", "12"));
    EXPECT_EQ(store_.ReadRegValue(kRoot, path_, "ComPort"), "12");
    EXPECT_EQ(store_.ReadRegValue(kRoot, path_, "Other"), "");
    ASSERT_TRUE(store_.WriteRegValue(kRoot, path_, "ComPort", "3"));
    EXPECT_EQ(store_.ReadRegValue(kRoot, path_, "ComPort"), "3") << "a shorter value replaces it";
}

TEST_F(WindowsRegistryStoreTest, ValuesOfEveryTypeReadAsTheStoreReadsThem) {
    struct Case {
        const char* value;
        DWORD type;
        std::string data;
        std::string read;
    };
    const std::vector<Case> cases{
        {"Dword", REG_DWORD, std::string("\x05\x00\x00\x00", 4), "5"},
        {"Binary", REG_BINARY, std::string("12\0", 3), ""},
        {"Long", REG_SZ, std::string(2000, '7') + '\0', ""},
        {"Fits", REG_SZ, std::string(1023, '7') + '\0', std::string(1023, '7')},
        {"Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x") + '\0', "%TEMP%\\x"},
        {"Unterminated", REG_SZ, "42", "42"},
    };
    for (const auto& c : cases) putRaw(c.value, c.type, c.data);
    for (const auto& c : cases) {
        EXPECT_EQ(store_.ReadRegValue(kRoot, path_, c.value), c.read) << c.value;
    }
}

// The choice is kept where a standard user may write it; the machine-wide value an earlier
// installation stored still reads until the user has one.
TEST_F(WindowsRegistryStoreTest, UserValueIsWrittenAndWinsOverTheMachineValue) {
    putRaw("ComPort", REG_SZ, std::string("4") + '\0');
    EXPECT_EQ(store_.ReadRegValue(kRoot, path_, "ComPort"), "4");
    ASSERT_TRUE(store_.WriteRegValue(kRoot, path_, "ComPort", "7"));
    EXPECT_EQ(store_.ReadRegValue(kRoot, path_, "ComPort"), "7");

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char text[8] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExA(key, "ComPort", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(text, "7");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExA(key, "ComPort", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(text, "4") << "the machine-wide value is left as it was";
}

}  // namespace
}  // namespace comflash::settings
