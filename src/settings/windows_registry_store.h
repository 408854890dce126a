// The settings store in the Windows registry, through its ANSI functions. Texts are UTF-8
// inside the program and in the system's ANSI code page at the registry.
//
// Settings asked for below HKEY_LOCAL_MACHINE are written below HKEY_CURRENT_USER, under
// the same key path, which a standard user may write without elevation; they are read from
// there first and from HKEY_LOCAL_MACHINE when the user has no value of their own, so that
// a port chosen by an earlier installation still counts.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

#include "settings/registry_store.h"

namespace comflash::settings {

class WindowsRegistryStore final : public RegistryStore {
  public:
    bool WriteRegValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                       const std::string& value) override;
    std::string ReadRegValue(RootKey root, const std::string& keyPath,
                             const std::string& valueName) override;

  private:
    static bool write(HKEY root, const std::string& keyPath, const std::string& valueName,
                      const std::string& value);
};

}  // namespace comflash::settings

#endif
