#include "ui/qt/low_latency.h"

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace comflash::ui::qt {

#ifdef __linux__
LowLatency requestLowLatency(int fd) {
    constexpr int kFlag = static_cast<int>(ASYNC_LOW_LATENCY);
    serial_struct serial{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0) return LowLatency::Refused;
    if ((serial.flags & kFlag) != 0) return LowLatency::AlreadySet;
    serial.flags |= kFlag;
    if (::ioctl(fd, TIOCSSERIAL, &serial) != 0) return LowLatency::Refused;
    return LowLatency::Set;
}
#else
LowLatency requestLowLatency(int) {
    return LowLatency::Unsupported;
}
#endif

}  // namespace comflash::ui::qt
