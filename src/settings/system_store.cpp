#include <cstdlib>

#include "settings/registry_store.h"

#ifdef _WIN32
#include "settings/windows_registry_store.h"
#else
#include "settings/file_registry_store.h"
#endif

namespace comflash::settings {

std::unique_ptr<RegistryStore> makeSystemStore() {
#ifdef _WIN32
    return std::make_unique<WindowsRegistryStore>();
#else
    return std::make_unique<FileRegistryStore>(
        FileRegistryStore::rootFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
#endif
}

}  // namespace comflash::settings
