#include "settings/registry_value.h"

#include <cstdint>

namespace comflash::settings {

std::string readValueText(ValueType type, std::string_view data) {
    if (data.size() > kReadBufferSize) return {};
    const std::size_t zero = data.find('\0');
    // A value shorter than the buffer is always followed by the buffer's zero bytes.
    if (zero == std::string_view::npos && data.size() == kReadBufferSize) return {};
    switch (type) {
        case ValueType::RegSz:
        case ValueType::RegExpandSz:
            return std::string(data.substr(0, zero));
        case ValueType::RegDword: {
            std::uint32_t number = 0;
            for (std::size_t i = 0; i < kDwordSize && i < data.size(); ++i) {
                number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i]))
                          << (8 * i);
            }
            return std::to_string(number);
        }
        default:
            return {};
    }
}

std::string textValueData(std::string_view text) {
    std::string data(text);
    data.push_back('\0');
    return data;
}

}  // namespace comflash::settings
