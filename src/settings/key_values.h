// The values of one key and their text file, "values.txt" in the key's folder:
//
//   comflash registry key 1
//   1 ComPort 3%00
//   4 Other %05%00%00%00
//   end
//
// One line per value, in the order the values were first stored: the type code in decimal,
// the value name and the value's data, separated by single spaces. Name and data are
// percent-encoded: printable ASCII other than "%" and well-formed UTF-8 stay, every other
// byte (space, newline, zero byte, stray byte, "%") becomes "%XX", so any name and data fit
// on one line and the file is UTF-8 text. The data are the stored bytes exactly; a text value
// ends with its zero byte. Value names compare without regard to ASCII case, as the
// registry's do. The closing "end" line shows that the file is complete; a file that breaks
// any of these rules is corrupt.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/registry_value.h"

namespace comflash::settings {

struct StoredValue {
    std::string name;
    ValueType type = ValueType::RegNone;
    std::string data;
};

class KeyValues {
  public:
    // Nothing when `text` is not a complete, well-formed values file.
    static std::optional<KeyValues> parse(std::string_view text);
    std::string serialize() const;

    // The value called `name`, or nullptr.
    const StoredValue* find(std::string_view name) const;
    // Replaces the value called `name` (keeping the name as first stored) or adds it.
    void set(std::string_view name, ValueType type, std::string_view data);

  private:
    std::vector<StoredValue> values_;
};

}  // namespace comflash::settings
