// The serial control's settings text: "baud,parity,data bits,stop bits", e.g. "19200,N,8,1".
#pragma once

#include <optional>
#include <string_view>

namespace comflash::ui {

struct LineSettings {
    int baud = 9600;
    char parity = 'N';  // N, E, O, M or S, upper-cased
    int dataBits = 8;
    int stopBits = 1;  // 1 or 2 (the text "1.5" is not supported)
};

// None when the text is not of that form.
std::optional<LineSettings> parseLineSettings(std::string_view text);

}  // namespace comflash::ui
