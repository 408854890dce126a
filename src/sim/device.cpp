#include "sim/device.h"

#include <utility>

namespace comflash::sim {

Device::Device(DeviceOptions options) : options_(std::move(options)), memory_(options_.memory) {}

void Device::setLineRate(int) {}

std::vector<Emission> Device::receive(std::span<const std::uint8_t> bytes, Micros now) {
    return {Emission{now, {bytes.begin(), bytes.end()}}};
}

void Device::lineOpened() {}

void Device::lineClosed() {}

}  // namespace comflash::sim
