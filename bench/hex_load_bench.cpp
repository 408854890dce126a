// How fast a firmware file goes from text into the image: a whole 64 KiB image in records of
// 16, 32 and 255 bytes, read as the Update command reads it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "app/app_state.h"
#include "image/hex_loader.h"

namespace {

std::string hexFile(std::size_t recordLength) {
    std::string text;
    char line[600];
    for (std::size_t address = 0; address < comflash::kImageSize; address += recordLength) {
        const std::size_t count = std::min(recordLength, comflash::kImageSize - address);
        unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF));
        int at = std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(count),
                               static_cast<unsigned>(address));
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned byte = static_cast<unsigned>((address + i) * 7 & 0xFF);
            sum += byte;
            at +=
                std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X", byte);
        }
        std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X\r\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

void LoadWholeImage(benchmark::State& state) {
    const std::string text = hexFile(static_cast<std::size_t>(state.range(0)));
    comflash::AppState app;
    comflash::image::HexReader reader(app);
    for (auto _ : state) {
        std::istringstream file(text);
        const auto result = comflash::image::LoadHexFile(file, reader);
        benchmark::DoNotOptimize(result);
        if (result != comflash::image::LoadResult::Loaded) state.SkipWithError("not loaded");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(LoadWholeImage)->Arg(16)->Arg(32)->Arg(255)->Unit(benchmark::kMicrosecond);

}  // namespace
