// How fast a firmware file goes from text into the image: a whole 64 KiB image in records of
// 16, 32 and 255 bytes, read as the Update command reads it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "app/app_state.h"
#include "image/hex_loader.h"
#include "sample_hex.h"

namespace {

std::string hexFile(std::size_t recordLength) {
    return comflash::bench::sampleHexFile(comflash::kImageSize, recordLength, 0);
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
