// The settings store: the two routines through which every access to the stored settings
// passes. The program keeps one value, "ComPort", below HKEY_LOCAL_MACHINE in the key
// RegistryKeyPath.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace comflash::settings {

// The value that holds the chosen port's number as decimal text.
inline constexpr std::string_view kComPortValue = "ComPort";

// Predefined root keys, with the handle values the registry gives them.
enum class RootKey : std::uint32_t { LocalMachine = 0x80000002u };

class RegistryStore {
  public:
    virtual ~RegistryStore() = default;
    // Creates the key (and every missing key above it) if needed and stores `value` as text
    // under `valueName`. False when the key cannot be created or the value cannot be stored;
    // never throws.
    virtual bool WriteRegValue(RootKey root, const std::string& keyPath,
                               const std::string& valueName, const std::string& value) = 0;
    // The value as text: text values as stored, a 32-bit number as its decimal text. The
    // empty text when the key or the value is missing, the key may not be modified, the data
    // do not fit 1024 bytes, or the value has another type.
    virtual std::string ReadRegValue(RootKey root, const std::string& keyPath,
                                     const std::string& valueName) = 0;
};

// The store of this platform: the registry on Windows; elsewhere the text store under
// $XDG_CONFIG_HOME (or $HOME/.config)/comflash.
std::unique_ptr<RegistryStore> makeSystemStore();

}  // namespace comflash::settings
