// Config.txt: four items (model identifier, registry key name, title, version text) separated
// by commas or line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace comflash::app {

inline constexpr std::string_view kConfigFileName = "Config.txt";

// Splits the file's text into items. Each line that holds more than blanks gives one item per
// comma-separated piece; a blank line gives none, and a comma at the end of a line starts no
// empty item (the line end after it is no second separator). Leading blanks of an item are
// skipped and trailing blanks of an unquoted item dropped. An item that starts with a double
// quote runs to the closing quote (commas inside belong to it; a missing closing quote ends it
// at the line end) and whatever follows the closing quote up to the next comma is ignored.
std::vector<std::string> splitConfigItems(std::string_view text);

// The model identifier's parts, split at every ":".
std::vector<std::string> splitModelParts(std::string_view model);

}  // namespace comflash::app
