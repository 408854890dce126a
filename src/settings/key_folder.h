// Where a key lives in the text store: every key is a folder below the store's root.
//
//   <root>/HKEY_LOCAL_MACHINE/<name 1>/<name 2>/.../values.txt
//
// The key path is split at every "\" into key names. The empty path is the root key itself;
// two backslashes in a row ("SoftWare\" + an empty name + "\Update") hold an empty name. Key
// names compare without regard to ASCII case, as the registry's do, so each name is folded to
// lower case and then percent-encoded into one folder name: "a"-"z", "0"-"9", "-", "_" and
// well-formed UTF-8 sequences stay; every other byte (".", "/", space, quotes, "%", control
// bytes, stray bytes) becomes "%XX"; the empty name becomes "%" alone. A folder name is
// therefore never empty, ".", ".." or a path, and no key path leads outside the root. No
// folder name contains a "." either, so "values.txt" and its temporary siblings never clash
// with a key's folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/registry_store.h"

namespace comflash::settings {

// The folder name of one key name.
std::string keyFolderName(std::string_view keyName);

// The key's folder relative to the store's root, "/"-separated; nothing for a root key the
// store does not hold.
std::optional<std::string> keyFolder(RootKey root, std::string_view keyPath);

}  // namespace comflash::settings
