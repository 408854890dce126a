// comflash-sim's command line and its --memory file. Arguments are the input split at zero
// bytes. A command line is read or refused with a reason, never anything else, and no fault it
// accepts holds a reply back longer than a day; a memory file either loads or names its first
// faulty line and leaves the memory as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "sim/command_line.h"
#include "sim/hex_file.h"

using namespace comflash;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string text = input.ConsumeRandomLengthString(400);
    std::vector<std::string> words;
    std::size_t from = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at == text.size() || text[at] == '\0') {
            words.push_back(text.substr(from, at - from));
            from = at + 1;
        }
    }
    const std::vector<std::string_view> args(words.begin(), words.end());
    const auto parsed = sim::parseCommandLine(args);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        COMFLASH_CHECK(!problem->empty(), "a refusal gives its reason");
    } else {
        const auto& options = std::get<sim::SimOptions>(parsed);
        COMFLASH_CHECK(options.sessions >= 0, "a number of sessions");
        for (int frame = 1; frame <= 64; ++frame) {
            const auto fault = options.device.faults.faultFor(frame, sim::FrameKind::Other);
            COMFLASH_CHECK(
                !fault || (fault->delay.count() >= 0 && fault->delay <= sim::kMaxFaultDelay),
                "a delay within a day");
        }
    }

    sim::Memory memory;
    memory.fill(input.ConsumeIntegral<std::uint8_t>());
    const sim::Memory before = memory;
    std::istringstream file(input.ConsumeRemainingBytesAsString());
    if (const auto problem = sim::loadIntelHex(file, memory)) {
        COMFLASH_CHECK(problem->starts_with("line "), "a problem names its line");
        COMFLASH_CHECK(memory == before, "a faulty file leaves the memory as it was");
    }
    return 0;
}
