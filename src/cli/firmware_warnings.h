// What the command line says about a firmware file and a failed write beyond the session's
// own messages: the line that names the firmware, warnings where the device gets more than
// the file says, the faulty line of a file refused, and the full address of a failure.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "cli/console.h"

namespace comflash::cli {

// "FILE (version M.m)", with the bytes the handshake carries: a piece of the name that is no
// number from 0 to 255 leaves the byte the state holds, and the text says so.
std::string firmwareText(const std::string& path, const AppState& state);

// One line for each thing the file makes the device hold beyond its records: whole erase
// units without data between its lowest and highest address (erased and filled with the
// pattern), and records that give one address different bytes (the later one is written).
// None for a file that does not load.
std::vector<std::string> firmwareWarnings(const std::string& path);

// Where and why the loader refuses the file ("line 100: ..."); empty when it loads.
std::string faultyFileReason(const std::string& path);

// For the session's failure message, whose address has no leading zeros in either of its two
// bytes: a line with the full four-digit address ("Address: 0x0905"). Of the ways to split
// the digits, only those a failure can stop at are kept: the image's first address, a unit
// base inside it, or just past its end. Empty for any other message.
std::string failureAddressLine(std::string_view message, const AppState& state);

// Shows the box on the console, followed by the failure's full address where it names one.
std::optional<ui::Answer> showWithAddress(Console& console, const ui::MessageBox& box,
                                          const AppState& state);

}  // namespace comflash::cli
