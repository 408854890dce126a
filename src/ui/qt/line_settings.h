// The serial control's line settings text, "9600,N,8,1": baud rate, parity letter, data bits
// and stop bits. Plain C++ so that the parsing rules can be tested without a port.
#pragma once

#include <optional>
#include <string_view>

namespace comflash::ui::qt {

struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    // Accepts "<baud>,<N|E|O|M|S>,<5..8>,<1|1.5|2>"; the parity letter in either case.
    // Anything else, spaces included, is refused.
    static std::optional<LineSettings> parse(std::string_view text);
};

}  // namespace comflash::ui::qt
