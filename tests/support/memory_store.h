// A settings store that keeps its values in memory, for tests of the windows that use one.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "settings/registry_store.h"

namespace comflash::test {

class MemoryStore final : public settings::RegistryStore {
  public:
    bool WriteRegValue(settings::RootKey root, const std::string& keyPath,
                       const std::string& valueName, const std::string& value) override {
        values_[{root, keyPath, valueName}] = value;
        return true;
    }
    std::string ReadRegValue(settings::RootKey root, const std::string& keyPath,
                             const std::string& valueName) override {
        const auto it = values_.find({root, keyPath, valueName});
        return it == values_.end() ? std::string() : it->second;
    }

  private:
    std::map<std::tuple<settings::RootKey, std::string, std::string>, std::string> values_;
};

}  // namespace comflash::test
