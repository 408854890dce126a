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

// A standard user may not write below HKEY_LOCAL_MACHINE since Windows Vista, and a write
// there would fail (or land in a virtual store the next start may not see). The program's
// settings therefore go below HKEY_CURRENT_USER, under the same key path.
HKEY writtenRoot(RootKey root) {
    return root == RootKey::LocalMachine ? HKEY_CURRENT_USER : rootHandle(root);
}

std::string readFrom(HKEY root, REGSAM access, const std::string& keyPath,
                     const std::string& valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, app::toSystemCodePage(keyPath).c_str(), 0, access, &key) !=
        ERROR_SUCCESS) {
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

}  // namespace

bool WindowsRegistryStore::WriteRegValue(RootKey root, const std::string& keyPath,
                                         const std::string& valueName, const std::string& value) {
    return write(writtenRoot(root), keyPath, valueName, value);
}

// The user's own value first. When the user has none, the machine-wide value, as an earlier
// installation left it; that key is opened for reading only, which a standard user may.
std::string WindowsRegistryStore::ReadRegValue(RootKey root, const std::string& keyPath,
                                               const std::string& valueName) {
    if (root != RootKey::LocalMachine) {
        return readFrom(rootHandle(root), kKeyAccess, keyPath, valueName);
    }
    std::string value = readFrom(HKEY_CURRENT_USER, kKeyAccess, keyPath, valueName);
    if (!value.empty()) return value;
    return readFrom(HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE, keyPath, valueName);
}

bool WindowsRegistryStore::write(HKEY root, const std::string& keyPath,
                                 const std::string& valueName, const std::string& value) {
    // No security descriptor (the default one), and a handle that child processes inherit.
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    std::string keyClass(kKeyClass);
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, app::toSystemCodePage(keyPath).c_str(), 0, keyClass.data(),
                        REG_OPTION_NON_VOLATILE, kKeyAccess, &security, &key,
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

}  // namespace comflash::settings

#endif
