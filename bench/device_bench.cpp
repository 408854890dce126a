// What a whole 64 KiB update costs the simulated device, and how long it takes on the line:
// handshake, then per 128-byte unit an erase, a write command and a data block, then go.
// With line timing the figure "line_seconds" is the session's time on a 19200 baud line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "sim/device.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using comflash::sim::Micros;

std::uint8_t xorOf(const Bytes& bytes, std::size_t from, std::size_t to) {
    std::uint8_t x = 0;
    for (std::size_t i = from; i < to; ++i) x = static_cast<std::uint8_t>(x ^ bytes[i]);
    return x;
}

// Sends one transmission and waits for the device's last byte, as a host does.
Micros exchange(comflash::sim::Device& device, const Bytes& bytes, Micros now) {
    const auto out = device.receive(bytes, now);
    return out.empty() ? now : out.back().due;
}

void WholeUpdate(benchmark::State& state) {
    const bool lineTiming = state.range(0) != 0;
    Micros lineTime{0};
    for (auto _ : state) {
        comflash::sim::DeviceOptions options;
        options.lineTiming = lineTiming;
        comflash::sim::Device device(options);
        device.setLineRate(19200);
        Bytes handshake{0x55, 0x82, 0x01, 0x02, 0x03, 0x01, 0x00, 0};
        handshake[7] = xorOf(handshake, 0, 7);
        Micros now = exchange(device, handshake, Micros{0});
        for (unsigned unit = 0; unit < 0x10000; unit += 128) {
            const auto high = static_cast<std::uint8_t>(unit >> 8);
            const auto low = static_cast<std::uint8_t>(unit & 0xFF);
            now = exchange(device, {0x55, 0x01, 0x00, high, low}, now);
            now = exchange(device, {0x55, 0x02, 0x00, high, low, 0x80}, now);
            Bytes block(129);
            for (std::size_t i = 0; i < 128; ++i) block[i] = static_cast<std::uint8_t>(unit + i);
            block[128] = xorOf(block, 0, 128);
            now = exchange(device, block, now);
        }
        now = exchange(device, {0x55, 0x03, 0x00, 0x00, 0x00}, now);
        if (device.sessionsEnded() != 1 || !device.violations().empty()) {
            state.SkipWithError("the session did not end cleanly");
        }
        lineTime = now;
    }
    state.counters["line_seconds"] = static_cast<double>(lineTime.count()) / 1e6;
    state.counters["image_bytes_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 0x10000, benchmark::Counter::kIsRate);
}
BENCHMARK(WholeUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
