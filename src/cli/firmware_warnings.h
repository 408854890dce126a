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
#include "session/session.h"

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

// For a session that failed at an address, whose message writes it without leading zeros in
// either byte: a line with the full four-digit address ("Full address: 0x0905"). Empty for
// any other end.
std::string failureAddressLine(const session::Result& result);

}  // namespace comflash::cli
