// The program-wide state the three windows share. Windows never reach into each other;
// everything that passes between them is here, written and read at fixed moments.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace comflash {

constexpr std::size_t kImageSize = 0x10000;
using ImageBytes = std::array<std::uint8_t, kImageSize>;

struct AppState {
    // Number n of the serial port "COM"n used for sessions.
    std::int16_t ComPortNumber = 0;
    // Selects the English text of every text that exists in two languages.
    bool UseEnglish = false;
    // The session window writes firmware (UpdateMode) or reads it back (ReadMode).
    bool UpdateMode = false;
    bool ReadMode = false;
    // The last session ran to its successful end.
    bool SessionSucceeded = false;
    std::uint8_t FirmwareMajor = 0;
    std::uint8_t FirmwareMinor = 0;
    // Index = device address. All zero at program start.
    ImageBytes FirmwareImage{};
    // Inclusive range of FirmwareImage that a session transfers.
    std::int32_t ImageStart = 0;
    std::int32_t ImageEnd = 0;
    std::array<std::uint8_t, 3> ModelId{};
    std::string AppTitle;
    std::string RegistryKeyPath;
};

}  // namespace comflash
