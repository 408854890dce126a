#ifdef _WIN32

#include "settings/windows_registry_store.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "app/system_text.h"
#include "settings/registry_value.h"

namespace comflash::settings {

namespace {

// Query value, set value, create sub-key, enumerate sub-keys, notify, create link and read
// control. Reads ask for the same rights as writes, so a key the user may read but not
// modify cannot be read either.
constexpr REGSAM kKeyAccess = 0x2003F;
// The class text given to every key the store creates.
constexpr char kKeyClass[] = "1";

// The handle of a predefined root key: its 32-bit value sign-extended, as the system headers
// define HKEY_LOCAL_MACHINE, so that it is right on 64-bit Windows as well.
HKEY rootHandle(RootKey root) {
    const auto value = static_cast<LONG>(static_cast<std::uint32_t>(root));
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

}  // namespace

bool WindowsRegistryStore::WriteRegValue(RootKey root, const std::string& keyPath,
                                         const std::string& valueName, const std::string& value) {
    // No security descriptor (the default one), and a handle that child processes inherit.
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    std::string keyClass(kKeyClass);
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(rootHandle(root), app::toSystemCodePage(keyPath).c_str(), 0,
                        keyClass.data(), REG_OPTION_NON_VOLATILE, kKeyAccess, &security, &key,
                        &disposition) != ERROR_SUCCESS) {
        return false;
    }
    const std::string data = textValueData(app::toSystemCodePage(value));
    const bool stored = RegSetValueExA(key, app::toSystemCodePage(valueName).c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(data.data()),
                                       static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return stored;
}

std::string WindowsRegistryStore::ReadRegValue(RootKey root, const std::string& keyPath,
                                               const std::string& valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootHandle(root), app::toSystemCodePage(keyPath).c_str(), 0, kKeyAccess,
                      &key) != ERROR_SUCCESS) {
        return {};
    }
    std::array<BYTE, kReadBufferSize> buffer{};
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG queried = RegQueryValueExA(key, app::toSystemCodePage(valueName).c_str(), nullptr,
                                          &type, buffer.data(), &size);
    RegCloseKey(key);
    // Fails as well when the data do not fit the buffer.
    if (queried != ERROR_SUCCESS) return {};
    // The whole zeroed buffer, not just `size` bytes: text is cut at the first zero byte in it.
    const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    return app::fromSystemCodePage(readValueText(static_cast<ValueType>(type), bytes));
}

}  // namespace comflash::settings

#endif
