// The words a session's end and its retry prompt are shown in, wherever they are shown: the
// session window's message boxes and the command line's lines.
#pragma once

#include <string>
#include <string_view>

#include "session/session.h"

namespace comflash::session {

// The report of an update the device accepted to its end.
inline constexpr std::string_view kSucceededText = "Successful";

// What a session's end says: empty when it says nothing (success is the caller's to report,
// and a cancel or a refused handshake end quietly).
std::string endMessage(const Result& result, bool useEnglish);

// The retry prompt's text.
std::string_view retryPrompt(bool useEnglish);

}  // namespace comflash::session
