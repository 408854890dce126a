#include "settings/key_values.h"

#include <charconv>
#include <cstdint>
#include <utility>

#include "settings/ascii_case.h"
#include "settings/percent_encoding.h"

namespace comflash::settings {

namespace {

constexpr std::string_view kHeaderLine = "comflash registry key 1";
constexpr std::string_view kEndLine = "end";
constexpr char kFieldSeparator = ' ';
constexpr char kLineEnd = '\n';

// Printable ASCII stays readable in the file; the space separates fields.
bool keepInField(char c) {
    return c > ' ' && c < '\x7f' && c != '%';
}

// Takes the text up to `separator` off the front of `rest`; nothing when there is none.
std::optional<std::string_view> takeUntil(std::string_view& rest, char separator) {
    const std::size_t end = rest.find(separator);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view taken = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    return taken;
}

// A field may hold no raw control byte: those only ever appear encoded.
std::optional<std::string> decodeField(std::string_view field) {
    for (const char c : field) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') return std::nullopt;
    }
    return percentDecode(field);
}

std::optional<StoredValue> parseValueLine(std::string_view line) {
    const auto typeField = takeUntil(line, kFieldSeparator);
    const auto nameField = takeUntil(line, kFieldSeparator);
    if (!typeField || !nameField || line.find(kFieldSeparator) != std::string_view::npos) {
        return std::nullopt;
    }
    std::uint32_t type = 0;
    const char* const first = typeField->data();
    const char* const last = first + typeField->size();
    const auto [end, error] = std::from_chars(first, last, type);
    if (typeField->empty() || error != std::errc{} || end != last) return std::nullopt;
    auto name = decodeField(*nameField);
    auto data = decodeField(line);
    if (!name || !data) return std::nullopt;
    return StoredValue{std::move(*name), static_cast<ValueType>(type), std::move(*data)};
}

}  // namespace

std::optional<KeyValues> KeyValues::parse(std::string_view text) {
    const auto header = takeUntil(text, kLineEnd);
    if (!header || *header != kHeaderLine) return std::nullopt;
    KeyValues values;
    while (const auto line = takeUntil(text, kLineEnd)) {
        if (*line == kEndLine) {
            if (!text.empty()) return std::nullopt;
            return values;
        }
        auto value = parseValueLine(*line);
        if (!value || values.find(value->name)) return std::nullopt;
        values.values_.push_back(std::move(*value));
    }
    return std::nullopt;
}

std::string KeyValues::serialize() const {
    std::string text(kHeaderLine);
    text += kLineEnd;
    for (const StoredValue& value : values_) {
        text += std::to_string(static_cast<std::uint32_t>(value.type));
        text += kFieldSeparator;
        text += percentEncode(value.name, keepInField);
        text += kFieldSeparator;
        text += percentEncode(value.data, keepInField);
        text += kLineEnd;
    }
    text += kEndLine;
    text += kLineEnd;
    return text;
}

const StoredValue* KeyValues::find(std::string_view name) const {
    for (const StoredValue& value : values_) {
        if (sameName(value.name, name)) return &value;
    }
    return nullptr;
}

void KeyValues::set(std::string_view name, ValueType type, std::string_view data) {
    for (StoredValue& value : values_) {
        if (sameName(value.name, name)) {
            value.type = type;
            value.data = std::string(data);
            return;
        }
    }
    values_.push_back(StoredValue{std::string(name), type, std::string(data)});
}

}  // namespace comflash::settings
