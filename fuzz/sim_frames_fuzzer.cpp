// The simulated device's frame parser, and the device behind it, fed arbitrary bytes in
// arbitrary writes at arbitrary moments. The framer loses and invents no byte: what it hands
// on, partial frames included, is exactly what came in, each complete command frame as long
// as its code says. The device echoes every write first and unchanged, and nothing it sends is
// due before the bytes that caused it or out of order within one write.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "check.h"
#include "sim/device.h"
#include "sim/framer.h"

using namespace comflash;
using sim::Micros;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    sim::DeviceOptions options;
    options.lineTiming = input.ConsumeBool();
    options.speedUp = input.ConsumeBool();
    if (input.ConsumeBool()) options.faults.add("random:0.2");
    options.faults.setSeed(input.ConsumeIntegral<std::uint8_t>());
    sim::Device device(options);
    sim::Framer framer;

    std::vector<std::uint8_t> fed;
    std::vector<std::uint8_t> handedOn;
    const auto take = [&](const sim::Framer::Unit& unit) {
        handedOn.insert(handedOn.end(), unit.bytes.begin(), unit.bytes.end());
        if (unit.kind == sim::Framer::Kind::Command) {
            COMFLASH_CHECK(unit.bytes.size() >= 2 && unit.bytes[0] == 0x55 &&
                               sim::commandLength(unit.bytes[1]) == unit.bytes.size(),
                           "a command frame is as long as its code says");
        }
    };
    Micros now{0};
    while (input.remaining_bytes() > 0) {
        now += Micros(input.ConsumeIntegralInRange(0, 1'500'000));
        switch (input.ConsumeIntegralInRange(0, 7)) {
            case 0:
                device.setLineRate(input.PickValueInArray({9600, 19200, 4800}));
                break;
            case 1:
                device.lineClosed(now);
                device.lineOpened(now);
                break;
            case 2:  // the host's next write is a data block of this length
                framer.expectDataBlock(input.ConsumeIntegralInRange<std::size_t>(1, 129), now,
                                       now + sim::Framer::kFrameGap);
                break;
            default: {
                const auto bytes = input.ConsumeBytes<std::uint8_t>(
                    input.ConsumeIntegralInRange<std::size_t>(1, 140));
                if (bytes.empty()) break;
                fed.insert(fed.end(), bytes.begin(), bytes.end());
                for (const auto& unit : framer.feed(bytes, now)) take(unit);

                const auto out = device.receive(bytes, now);
                COMFLASH_CHECK(!out.empty() && out.front().bytes == bytes,
                               "the echo comes first, unchanged");
                for (std::size_t i = 0; i < out.size(); ++i) {
                    COMFLASH_CHECK(out[i].due >= now, "nothing due before its cause");
                    COMFLASH_CHECK(i == 0 || out[i].due >= out[i - 1].due,
                                   "due times never decrease within a write");
                }
            }
        }
    }
    if (const auto partial = framer.reset()) take(*partial);
    COMFLASH_CHECK(handedOn == fed, "the framer hands on every byte, in order, once");
    return 0;
}
