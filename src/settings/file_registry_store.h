// The settings store on systems without the registry: every key is a folder below the
// store's root and holds its values in one text file (see key_folder.h for the folders,
// key_values.h for the file). Reads follow the registry's rules (registry_value.h), and a
// key that may not be modified cannot be read either, as with the registry. Every write
// replaces the values file atomically: the new file is written beside it, flushed to disk and
// renamed over the old one, so a crash leaves either the old file or the new one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/registry_store.h"
#include "settings/registry_value.h"

namespace comflash::settings {

class FileRegistryStore final : public RegistryStore {
  public:
    // `root` is the folder that holds the store; it is created, with the folders above it,
    // by the first write. An empty root holds nothing and takes nothing.
    explicit FileRegistryStore(std::string root);

    // The root of the user's store: $XDG_CONFIG_HOME/comflash when that variable holds an
    // absolute path, else $HOME/.config/comflash; empty when neither is usable.
    static std::string rootFor(const char* xdgConfigHome, const char* home);

    const std::string& root() const { return root_; }

    bool WriteRegValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                       const std::string& value) override;
    std::string ReadRegValue(RootKey root, const std::string& keyPath,
                             const std::string& valueName) override;

    // Stores `data` exactly as given under `type`, as another program may have stored it:
    // no zero byte is added and there is no limit on the size. False on failure.
    bool putValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                  ValueType type, std::string_view data);
    // Stores a RegDword value: `number` as four bytes, least significant first.
    bool putDword(RootKey root, const std::string& keyPath, const std::string& valueName,
                  std::uint32_t number);

  private:
    std::string root_;
};

}  // namespace comflash::settings
