// The settings store in the Windows registry, through its ANSI functions. Texts are UTF-8
// inside the program and in the system's ANSI code page at the registry.
#pragma once

#ifdef _WIN32

#include <string>

#include "settings/registry_store.h"

namespace comflash::settings {

class WindowsRegistryStore final : public RegistryStore {
  public:
    bool WriteRegValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                       const std::string& value) override;
    std::string ReadRegValue(RootKey root, const std::string& keyPath,
                             const std::string& valueName) override;
};

}  // namespace comflash::settings

#endif
