#include <cstdlib>

#include "settings/file_registry_store.h"
#include "settings/registry_store.h"

namespace comflash::settings {

std::unique_ptr<RegistryStore> makeSystemStore() {
    return std::make_unique<FileRegistryStore>(
        FileRegistryStore::rootFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
}

}  // namespace comflash::settings
