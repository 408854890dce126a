#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "settings/file_registry_store.h"
#include "settings/registry_store.h"
#include "temp_folder.h"

namespace comflash::settings {
namespace {

TEST(SystemStore, RootFollowsTheUsersConfigurationFolder) {
    struct Case {
        const char* xdgConfigHome;
        const char* home;
        std::string root;
    };
    const Case cases[] = {
        {"/cfg", "/home/u", "/cfg/comflash"},
        {"/cfg", nullptr, "/cfg/comflash"},
        {nullptr, "/home/u", "/home/u/.config/comflash"},
        {"", "/home/u", "/home/u/.config/comflash"},
        {"relative/cfg", "/home/u", "/home/u/.config/comflash"},
        {nullptr, nullptr, ""},
        {nullptr, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileRegistryStore::rootFor(c.xdgConfigHome, c.home), c.root)
            << (c.xdgConfigHome ? c.xdgConfigHome : "(unset)") << " "
            << (c.home ? c.home : "(unset)");
    }
}

TEST(SystemStore, HonoursXdgConfigHome) {
    test::TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    const char* const previous = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    const std::string configHome = temp.path().string() + "/xdg";
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1), 0);

    const bool written = makeSystemStore()->WriteRegValue(
        RootKey::LocalMachine, "SoftWare\\Maker\\Update", "ComPort", "7");
    const std::string read = makeSystemStore()->ReadRegValue(RootKey::LocalMachine,
                                                             "SoftWare\\Maker\\Update", "ComPort");

    if (saved) {
        ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_TRUE(written);
    EXPECT_EQ(read, "7");
    EXPECT_TRUE(std::filesystem::exists(
        configHome + "/comflash/HKEY_LOCAL_MACHINE/software/maker/update/values.txt"));
}

}  // namespace
}  // namespace comflash::settings
