// The settings start-up takes from Config.txt, read the same way by every front end: the
// window reads the file beside the program, the command line the file it is given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace comflash::app {

using ModelId = std::array<std::uint8_t, 3>;

struct StartupConfig {
    ModelId modelId{};
    std::string keyName;
    std::string appTitle;  // "Update" when the item is empty
    std::string version;   // "Unknow" when the item is empty
};

// Either the settings, or one line that says what is wrong.
struct ConfigRead {
    std::optional<StartupConfig> config;
    std::string failure;
};

// Config.txt's bytes as text: UTF-8 without its mark when the file starts with the UTF-8
// byte-order mark, else the system's code page.
std::string configText(std::string_view bytes);

// Reads Config.txt at `path`. The failure names the file and the fault.
ConfigRead readStartupConfig(const std::string& path);

struct ModelRead {
    std::optional<ModelId> id;
    std::string failure;  // says which part is wrong, as in: the model identifier "1:2" has ...
};

// A model identifier written as Config.txt's first item: at least three parts separated by
// ":", each a number from 0 to 255; parts after the third are ignored.
ModelRead parseModelId(std::string_view text);

}  // namespace comflash::app
