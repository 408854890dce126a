// The update a run's sessions make of a loaded program state: its model, version and range.
#pragma once

#include "app/app_state.h"
#include "session/session.h"

namespace comflash::cli::testing {

inline session::Request requestOf(const AppState& state) {
    session::Request r;
    r.model = state.ModelId;
    r.major = state.FirmwareMajor;
    r.minor = state.FirmwareMinor;
    r.start = state.ImageStart;
    r.end = state.ImageEnd;
    return r;
}

}  // namespace comflash::cli::testing
