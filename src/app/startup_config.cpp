#include "app/startup_config.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "app/config_file.h"
#include "app/conversions.h"
#include "app/system_text.h"

namespace comflash::app {

namespace {

constexpr std::string_view kDefaultAppTitle = "Update";
constexpr std::string_view kDefaultVersion = "Unknow";
constexpr std::size_t kConfigItems = 4;

// Notepad's "UTF-8" starts the file with the byte-order mark.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

ConfigRead failed(std::string why) {
    return {std::nullopt, std::move(why)};
}

}  // namespace

std::string configText(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Mark)) return std::string(bytes.substr(kUtf8Mark.size()));
    // Written in the system's code page: GBK on a Chinese Windows.
    return fromSystemCodePage(bytes);
}

ConfigRead readStartupConfig(const std::string& path) {
    // A folder of that name opens for reading but reads as empty; it is no Config.txt.
    std::error_code error;
    std::ifstream file;
    const std::filesystem::path location = pathFromUtf8(path);
    if (std::filesystem::is_regular_file(location, error)) file.open(location, std::ios::binary);
    const std::string text = configText(
        std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
    if (!file.is_open() || file.bad()) {
        return failed("Cannot read " + path + ": the file is missing or unreadable.");
    }
    const std::vector<std::string> items = splitConfigItems(text);
    if (items.size() < kConfigItems) {
        return failed(path + ": " + std::to_string(items.size()) +
                      " items found, 4 needed (model identifier, registry key name, title, "
                      "version).");
    }
    const ModelRead model = parseModelId(items[0]);
    if (!model.id) return failed(path + ": " + model.failure);
    return {StartupConfig{
                *model.id,
                items[1],
                items[2].empty() ? std::string(kDefaultAppTitle) : items[2],
                items[3].empty() ? std::string(kDefaultVersion) : items[3],
            },
            {}};
}

ModelRead parseModelId(std::string_view text) {
    const std::string model(text);
    const std::vector<std::string> parts = splitModelParts(model);
    ModelId id{};
    if (parts.size() < id.size()) {
        return {std::nullopt, "the model identifier \"" + model + "\" has " +
                                  std::to_string(parts.size()) +
                                  " part(s); 3 are needed, as in 12:3:255."};
    }
    for (std::size_t index = 0; index < id.size(); ++index) {
        const auto byte = toByte(parts[index]);
        if (!byte) {
            return {std::nullopt, "part " + std::to_string(index + 1) +
                                      " of the model identifier \"" + model + "\" is \"" +
                                      parts[index] + "\", not a number from 0 to 255."};
        }
        id[index] = *byte;
    }
    return {id, {}};
}

}  // namespace comflash::app
