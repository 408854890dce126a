// The serial driver's low-latency mode (Linux's ASYNC_LOW_LATENCY). USB serial adapters
// otherwise hold received bytes for up to 16 ms before handing them on, once per reply.
#pragma once

namespace comflash::ui::qt {

enum class LowLatency {
    Set,          // the driver took the mode
    AlreadySet,   // the driver had it already
    Refused,      // the driver has no such setting or refused it (pseudo-terminals, many others)
    Unsupported,  // not Linux
};

// Asks the driver of the open terminal `fd` for low latency; changes nothing else and never
// fails the port: a driver that refuses simply keeps its own timing.
LowLatency requestLowLatency(int fd);

}  // namespace comflash::ui::qt
