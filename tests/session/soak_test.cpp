// The soak: a thousand seeded sessions, updates and read-backs, each against the simulated
// device with random faults of every kind it injects (random:P from the seed), and now and
// then a hang-up, a refused handshake, another model, a port unplugged or refusing its settings
// at a random moment of virtual time, and retry prompts answered either way. Every session
// must end in success with exactly the right memory (an update: the device holds the image; a
// read-back: the image holds the device's lower 32 KiB), or in one of the session's failure
// ends for a cause that was really there, within a bound of virtual time; the device must
// never see a protocol violation. The counts per outcome are printed, and apart those of the
// sessions in which a second frame was lost or late while an answer was late (see
// twoFaultsInFlight): they are judged like any other.
//
// COMFLASH_SOAK_SESSIONS and COMFLASH_SOAK_FIRST_SEED run another range of seeds; a failure
// names its seed and what the seed made of the session, and with COMFLASH_SOAK_TRANSCRIPT set
// shows the device's transcript too (and with COMFLASH_SOAK_HOST set, the host's
// transmissions after it).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "desktop/session_window.h"
#include "sim/device.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::session {
namespace {

using namespace std::chrono_literals;
using Micros = std::chrono::microseconds;

constexpr int kDefaultSessions = 1000;
// A session that takes longer hangs: the longest of 20 000 seeds took 72 s.
constexpr Micros kTimeBound = 30min;

constexpr std::string_view kPrompt = "Check connection!Retry or cancel?";
constexpr std::string_view kReselect = "Please reselect COM port!";
constexpr std::string_view kModelError = "Model Error！";
constexpr std::string_view kFailurePrefix = "读写失败,地址 = ";
const std::array<std::uint8_t, 3> kModel{0x10, 0x20, 0x30};

struct Answer {
    ui::Answer answer;
    std::chrono::milliseconds holdOpen;
};

// What one seed makes of a session.
struct Plan {
    std::uint64_t seed = 0;
    bool read = false;
    std::int32_t start = 0;
    std::int32_t end = 0;
    sim::DeviceOptions options;
    std::vector<std::string> faults;
    std::optional<Micros> unplugAt;
    std::optional<Micros> refuseSettingsAt;
    std::vector<Answer> answers;  // to the retry prompts, in order; then Cancel

    std::string describe() const {
        std::string text = "seed " + std::to_string(seed) + (read ? ": read-back" : ": update");
        char range[32];
        std::snprintf(range, sizeof range, " %04X-%04X", static_cast<unsigned>(start),
                      static_cast<unsigned>(end));
        if (!read) text += range;
        for (const auto& fault : faults) text += ", " + fault;
        if (options.lineTiming) text += ", line timing";
        if (!options.speedUp) text += ", no speed-up";
        if (options.handshakeRate == sim::HandshakeRate::Only9600) text += ", listens at 9600";
        if (options.handshakeRate == sim::HandshakeRate::Only19200) text += ", listens at 19200";
        if (unplugAt) text += ", unplugged at " + std::to_string(unplugAt->count()) + " us";
        if (refuseSettingsAt) {
            text += ", settings refused from " + std::to_string(refuseSettingsAt->count()) + " us";
        }
        for (const auto& answer : answers) {
            text += answer.answer == ui::Answer::Retry ? ", Retry after " : ", Cancel after ";
            text += std::to_string(answer.holdOpen.count()) + " ms";
        }
        return text;
    }
};

Plan makePlan(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    const auto chance = [&](double p) {
        return std::uniform_real_distribution<>(0, 1)(random) < p;
    };
    const auto pick = [&](int from, int to) {
        return std::uniform_int_distribution<>(from, to)(random);
    };

    Plan plan;
    plan.seed = seed;
    plan.read = chance(0.3);
    if (plan.read) {
        plan.end = 0x7FFF;
    } else {
        plan.start = pick(0, 0xFFFF);
        const int length = chance(0.7) ? pick(1, 300) : pick(301, 2048);
        plan.end = std::min(plan.start + length - 1, 0xFFFF);
    }
    plan.options.model = kModel;
    plan.options.lineTiming = chance(0.5);
    plan.options.speedUp = chance(0.8);
    plan.options.handshakeRate =
        std::array{sim::HandshakeRate::Any, sim::HandshakeRate::Only9600,
                   sim::HandshakeRate::Only19200}[static_cast<std::size_t>(pick(0, 2))];
    for (std::size_t i = 0; i < plan.options.memory.size(); ++i) {
        plan.options.memory[i] = static_cast<std::uint8_t>(random());
    }

    // Scheduled faults first: the first fault given for a frame wins over random ones.
    const int frames = plan.read ? 300 : 40;
    if (chance(0.08)) plan.faults.push_back("hangup:" + std::to_string(pick(1, frames)));
    if (chance(0.05)) plan.faults.push_back("model:" + std::to_string(pick(1, 2)));
    if (chance(0.05)) plan.faults.push_back("nak:" + std::to_string(pick(1, 2)));
    // Runs of lost and of refused frames.
    for (const char* kind : {"drop:", "nak:"}) {
        if (!chance(0.05)) continue;
        const int first = pick(1, frames);
        plan.faults.push_back(kind + std::to_string(first) + "-" +
                              std::to_string(first + pick(5, 15)));
    }
    const char* const rates[] = {nullptr, "0.01", "0.03", "0.06", "0.1"};
    if (const char* rate = rates[static_cast<std::size_t>(pick(0, 4))]) {
        plan.faults.push_back(std::string("random:") + rate);
    }
    for (const auto& fault : plan.faults) {
        if (auto problem = plan.options.faults.add(fault)) ADD_FAILURE() << *problem;
    }
    plan.options.faults.setSeed(random());

    const Micros lasts = plan.read ? 20s : 5s;  // about, without faults
    if (chance(0.06)) {
        plan.unplugAt = Micros(pick(0, static_cast<int>(lasts.count() / 1000))) * 1000;
    }
    if (chance(0.04)) {
        plan.refuseSettingsAt = Micros(pick(0, static_cast<int>(lasts.count() / 1000))) * 1000;
    }
    for (int retries = pick(0, 3); retries > 0; --retries) {
        plan.answers.push_back({ui::Answer::Retry, std::chrono::milliseconds(pick(0, 4000))});
    }
    plan.answers.push_back({ui::Answer::Cancel, std::chrono::milliseconds(pick(0, 4000))});
    return plan;
}

struct Result {
    std::string outcome;
    std::vector<std::string> problems;
    Micros took{0};
    std::vector<std::string> transcript;  // the device's
    bool twoFaults = false;               // see twoFaultsInFlight
};

// Whether, while one frame's answer was late, another frame sent meanwhile was lost or
// answered late too. With two faults among the frames in flight the host cannot tell which
// answer belongs to which frame (answers carry no sequence number): it must then act only on
// what cannot be misread.
bool twoFaultsInFlight(const std::vector<std::string>& transcript) {
    std::map<int, double> sentAt;   // frame -> when it reached the device
    std::map<int, double> lateDue;  // frame -> when its held-back answer was due
    std::set<int> lost;
    for (const auto& line : transcript) {
        int frame = 0;
        double at = 0;
        char kind[3] = {};
        if (std::sscanf(line.c_str(), "%lf %2s #%d", &at, kind, &frame) != 3) continue;
        if (std::string_view(kind) == "rx") sentAt.emplace(frame, at);
        if (std::string_view(kind) == "tx" && line.ends_with("(fault delay)")) lateDue[frame] = at;
        if (std::string_view(kind) == "--" && line.ends_with("fault drop: no reply")) {
            lost.insert(frame);
        }
    }
    for (const auto& [frame, due] : lateDue) {
        for (auto next = sentAt.upper_bound(frame); next != sentAt.end() && next->second < due;
             ++next) {
            if (lateDue.contains(next->first) || lost.contains(next->first)) return true;
        }
    }
    return false;
}

bool firedFault(const sim::Device& device, std::string_view what) {
    for (const auto& line : device.transcript()) {
        if (line.find(what) != std::string::npos) return true;
    }
    return false;
}

Result runSession(const Plan& plan) {
    Result result;
    const auto problem = [&](const std::string& text) { result.problems.push_back(text); };

    AppState state;
    state.ComPortNumber = 1;
    state.UseEnglish = true;
    state.AppTitle = "Soak";
    state.ModelId = kModel;
    state.FirmwareMajor = 1;
    state.FirmwareMinor = 3;
    state.ImageStart = plan.start;
    state.ImageEnd = plan.end;
    std::mt19937_64 random(plan.seed ^ 0x5EEDULL);
    for (auto& byte : state.FirmwareImage) byte = static_cast<std::uint8_t>(random());
    const ImageBytes imageBefore = state.FirmwareImage;

    ui::headless::HeadlessToolkit toolkit;
    toolkit.setTimeLimit(std::chrono::duration_cast<std::chrono::milliseconds>(kTimeBound));
    sim::Device device(plan.options);
    toolkit.addPort(1, &device);
    const auto window = toolkit.createWindow(ui::kFormProcess);
    desktop::SessionWindow session(state, toolkit, *window);

    bool portTrouble = false;  // the port really failed while the session ran
    if (plan.unplugAt) {
        toolkit.clock().schedule(*plan.unplugAt, [&] {
            portTrouble = portTrouble || window->loaded();
            toolkit.unplug(1);
        });
    }
    if (plan.refuseSettingsAt) {
        toolkit.clock().schedule(*plan.refuseSettingsAt, [&] {
            portTrouble = portTrouble || window->loaded();
            if (auto* port = toolkit.port(1)) port->refuseSettings = true;
        });
    }
    for (const auto& answer : plan.answers) toolkit.answerNext(answer.answer, answer.holdOpen);

    (plan.read ? state.ReadMode : state.UpdateMode) = true;
    try {
        window->showModal();
        result.took = toolkit.clock().now();
        toolkit.drive();  // what is still on its way reaches a closed port
    } catch (const ui::headless::Stalled& stalled) {
        problem(std::string("stalled: ") + stalled.what());
        result.outcome = "stalled";
        return result;
    }
    portTrouble = portTrouble || firedFault(device, "fault hangup");
    result.transcript = device.transcript();
    if (std::getenv("COMFLASH_SOAK_HOST") != nullptr) {
        const auto& comm =
            dynamic_cast<ui::headless::HeadlessWindow&>(*window).headlessComm("MSComm1");
        for (const auto& sent : comm.transmissions()) {
            char line[64];
            std::snprintf(line, sizeof line, "host %.6f sent %zu bytes, %02X %02X ...",
                          static_cast<double>(sent.at.count()) / 1e6, sent.bytes.size(),
                          sent.bytes[0], sent.bytes.size() > 1 ? sent.bytes[1] : 0);
            result.transcript.push_back(line);
        }
    }
    result.twoFaults = twoFaultsInFlight(result.transcript);

    if (result.took > kTimeBound) problem("took " + std::to_string(result.took.count()) + " us");
    for (const auto& violation : device.violations()) problem("device violation " + violation);
    if (window->loaded()) problem("the window is still loaded");
    if (window->comm("MSComm1").portOpen()) problem("the port is still open");
    if (device.inSession()) problem("the device is still in a session");
    if (state.UpdateMode || state.ReadMode) problem("a mode is still set");

    std::vector<std::string> texts;
    for (const auto& box : toolkit.messages()) texts.push_back(box.text);
    const std::size_t prompts =
        static_cast<std::size_t>(std::count(texts.begin(), texts.end(), kPrompt));
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        if (texts[i] != kPrompt) problem("a message before the session's end: " + texts[i]);
    }
    const std::string last = texts.empty() ? "" : texts.back();

    if (state.SessionSucceeded) {
        result.outcome = plan.read ? "read back" : "Successful";
        if (!texts.empty() && last != kPrompt) problem("success after the message " + last);
        if (plan.read) {
            const auto readable = device.readWindow();
            const auto differ =
                std::mismatch(readable.begin(), readable.end(), state.FirmwareImage.begin());
            if (differ.first != readable.end()) {
                problem("false success: the image differs from the device's read window at " +
                        std::to_string(differ.first - readable.begin()));
            }
            if (device.lastGoAddress() != kReadGoAddress) problem("no go to 9000 at the end");
        } else {
            sim::Memory expected = plan.options.memory;
            for (std::int32_t unit = eraseUnitOf(plan.start); unit <= plan.end;
                 unit += kEraseUnit) {
                std::fill_n(expected.begin() + unit, kEraseUnit, std::uint8_t{0xFF});
            }
            std::copy(imageBefore.begin() + plan.start, imageBefore.begin() + plan.end + 1,
                      expected.begin() + plan.start);
            if (device.memory() != expected) problem("false success: the device's memory differs");
            if (device.lastGoAddress() != plan.start) problem("the go frame named another address");
        }
    } else if (last == kPrompt) {
        result.outcome = "cancelled at the retry prompt";
        std::size_t retries = 0;
        while (retries < plan.answers.size() && plan.answers[retries].answer == ui::Answer::Retry) {
            ++retries;
        }
        if (prompts != retries + 1) problem("the prompt that was cancelled is not the last one");
    } else if (last == kReselect) {
        result.outcome = std::string(kReselect);
        if (!portTrouble) problem("the port was blamed, yet nothing happened to it");
    } else if (last == kModelError) {
        result.outcome = std::string(kModelError);
        if (plan.read || !firedFault(device, "(fault model)")) {
            problem("a model error without cause");
        }
    } else if (last.starts_with(kFailurePrefix)) {
        result.outcome = "读写失败";
        const std::string address = last.substr(kFailurePrefix.size());
        if (address.empty() || address.size() > 4 ||
            address.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
            problem("the failure names no address: " + last);
        }
    } else if (texts.empty()) {
        result.outcome = "handshake refused, no message";
        // The refusal of a handshake: NAK, 55, the bootloader's version 1.0.
        if (plan.read || !plan.options.speedUp || !firedFault(device, " 1F 55 01 00 ")) {
            problem("the session ended without a word and without a refused handshake");
        }
    } else {
        problem("an unexpected message: " + last);
    }
    if (!state.SessionSucceeded && plan.read) {
        // A failed read-back stores only blocks whose XOR matched: each is the device's.
        for (std::size_t at = 0; at < 0x8000; at += kReadBlock) {
            const bool untouched =
                std::equal(imageBefore.begin() + static_cast<long>(at),
                           imageBefore.begin() + static_cast<long>(at) + kReadBlock,
                           state.FirmwareImage.begin() + static_cast<long>(at));
            const bool read =
                std::equal(device.readWindow().begin() + static_cast<long>(at),
                           device.readWindow().begin() + static_cast<long>(at) + kReadBlock,
                           state.FirmwareImage.begin() + static_cast<long>(at));
            if (!untouched && !read) {
                problem("the block at " + std::to_string(at) +
                        " holds neither its old bytes nor the device's");
            }
        }
    }
    return result;
}

std::uint64_t fromEnvironment(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(SessionSoak, EverySeededSessionEndsRightAndInTime) {
    const std::uint64_t sessions = fromEnvironment("COMFLASH_SOAK_SESSIONS", kDefaultSessions);
    const std::uint64_t first = fromEnvironment("COMFLASH_SOAK_FIRST_SEED", 1);
    std::map<std::string, int> outcomes;
    Micros longest{0};
    int failed = 0;
    int twoFaults = 0;
    int twoFaultsWrong = 0;
    int twoFaultsFalseSuccess = 0;
    for (std::uint64_t seed = first; seed < first + sessions; ++seed) {
        const Plan plan = makePlan(seed);
        const Result result = runSession(plan);
        ++outcomes[result.outcome];
        longest = std::max(longest, result.took);
        if (result.twoFaults) {
            ++twoFaults;
            if (!result.problems.empty()) ++twoFaultsWrong;
            if (!result.problems.empty() && result.outcome == "Successful") ++twoFaultsFalseSuccess;
        }
        if (!result.problems.empty() && ++failed <= 20) {
            std::string text;
            for (std::size_t i = 0; i < result.problems.size(); ++i) {
                // A problem repeated for block after block is named once.
                if (i == 0 || result.problems[i] != result.problems[i - 1]) {
                    text += "\n  " + result.problems[i];
                }
            }
            if (std::getenv("COMFLASH_SOAK_TRANSCRIPT") != nullptr) {
                text += "\n  the device's transcript:";
                for (const auto& line : result.transcript) text += "\n    " + line;
            }
            ADD_FAILURE() << plan.describe() << " ended \"" << result.outcome << "\":" << text;
        }
    }
    std::printf("%llu sessions from seed %llu; the longest took %.1f s of virtual time\n",
                static_cast<unsigned long long>(sessions), static_cast<unsigned long long>(first),
                static_cast<double>(longest.count()) / 1e6);
    for (const auto& [outcome, count] : outcomes) std::printf("%6d  %s\n", count, outcome.c_str());
    std::printf(
        "%d sessions had a second frame lost or late while an answer was late; %d of "
        "them ended wrongly, %d of those in a false success\n",
        twoFaults, twoFaultsWrong, twoFaultsFalseSuccess);
    EXPECT_EQ(failed, 0) << "sessions that ended wrongly";
}

}  // namespace
}  // namespace comflash::session
