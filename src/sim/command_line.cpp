#include "sim/command_line.h"

#include <algorithm>
#include <charconv>

namespace comflash::sim {

const std::string_view kUsage =
    R"(Usage: comflash-sim [--model A:B:C] [--baud any|9600|19200] [--no-speedup]
                    [--memory FILE.hex] [--dump FILE.bin] [--log FILE]
                    [--line-timing] [--fault SPEC]... [--seed N] [--sessions N]
                    [--boards N [--board-gap MS] [--board-stay MS] [--board-unplug]
                     [--board-fault K:SPEC]...]
A strict simulated bootloader device on a pseudo-terminal. Prints the path of the serial
device to open as its first line, then serves sessions until SIGINT or SIGTERM, or until
--sessions sessions have ended with an accepted go frame, or until a fixture has served its
--boards boards. Exits 0, or 1 when the host broke the protocol (the violations are listed
on stderr and in the log), or 2 on a usage error.

  --model A:B:C       the device's model identifier, three bytes, decimal or 0x hex
                      (default 1:2:3)
  --baud any|9600|19200
                      the line rates at which a handshake is answered (default any)
  --no-speedup        answer the handshake with byte 1 = 00 instead of 55 and keep the
                      session at the rate of the handshake, instead of moving to 19200
  --memory FILE.hex   the initial memory, from an Intel HEX file (default: all FF)
  --dump FILE.bin     at the end, write the 65,536 bytes of memory to FILE.bin
  --log FILE          write one line per frame received, per reply sent and per event
  --line-timing       deliver bytes at the line rate, 10 bits per byte
  --fault SPEC        inject a fault; may be given several times (see below)
  --seed N            the seed of random faults (default 0)
  --sessions N        end after N sessions have ended with an accepted go frame

A fixture on a production line: one line serves N boards one after another.
  --boards N          board 1 is in at the start; a board is taken out 0.5 s after its go
                      frame was acknowledged, then the fixture stays empty for the gap
                      (the line echoes, nothing answers), then the next board is put in,
                      erased, in its bootloader; the run ends when board N is taken out
  --board-gap MS      how long the fixture stays empty between boards (default 1000)
  --board-stay MS     a board is taken out MS after it was put in, flashed or not; without
                      it, a board that is not flashed stays until the run is stopped
  --board-unplug      while no board is in, the line is gone: it hangs up and its path
                      disappears until the next board brings it back (an adapter on the board)
  --board-fault K:SPEC
                      a fault of board K only, ahead of the --fault ones; frames are counted
                      from 1 on each board, and board K draws random faults with seed N+K-1
  --dump PATTERN      with --boards: each board's memory; %d becomes the board's number, a
                      pattern without %d gets .K appended
  --help              show this text

Frames are numbered from 1 in the order the device reads them, counting every handshake,
command frame and data block, resends included. Bytes the device cannot read at its line
rate are no frame. A fault SPEC is one of:
  drop:F          the frame is lost: no effect, no reply
  nak:F           the frame is refused: no effect, the reply is NAK (1F)
  corrupt:F       the frame is carried out; the first byte of its reply is inverted
  garbage:F       the frame is carried out; the bytes 00 E5 FF precede its reply
  partial:F       the frame is carried out; only the first half of its reply is sent
  model:F         a handshake is answered with the model's bytes inverted
  delay:F:MS      the frame is carried out; its reply comes MS milliseconds late (at most
                  86400000, a day), after the echo of any write made meanwhile; later
                  replies queue behind it
  hangup:F        the device hangs up the line after the frame's echo; the path stays
                  and can be opened again
  random:P        any other frame is faulty with probability P (0 to 1); the kind (drop,
                  nak, corrupt, garbage, partial, or a delay of 100 to 3000 ms) and the
                  frames follow from --seed and the frame numbers; a handshake is never
                  refused (nak) at random, since the host gives up at once after that
  stuck:ADDR:VALUE
                  the memory byte at ADDR holds VALUE (both decimal or 0x hex) from the
                  start, whatever is erased or written there; every frame is answered as
                  usual, so only a read-back shows it
F is a frame number N or a range N-M. When several faults name a frame, the first given
wins. A fault never hides a violation: every frame is checked before its fault takes effect.
)";

namespace {

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

bool parseModel(std::string_view text, std::array<std::uint8_t, 3>& model) {
    for (std::size_t i = 0; i < model.size(); ++i) {
        const auto colon = text.find(':');
        const bool last = i + 1 == model.size();
        if ((colon == std::string_view::npos) != last) return false;
        if (!parseNumber(text.substr(0, colon), model[i])) return false;
        if (!last) text.remove_prefix(colon + 1);
    }
    return true;
}

}  // namespace

std::variant<SimOptions, std::string> parseCommandLine(std::span<const std::string_view> args) {
    SimOptions options;
    std::uint64_t seed = 0;
    bool boardOptions = false;  // an option of a fixture's boards, which needs --boards
    int lastBoard = 0;          // the highest board a --board-fault names
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        auto wrong = [&](std::string_view what) {
            return std::string(arg) + ": " + std::string(what);
        };
        if (arg == "--board-unplug") {
            options.fixture.unplug = true;
            boardOptions = true;
        } else if (arg == "--boards" || arg == "--board-gap" || arg == "--board-stay" ||
                   arg == "--board-fault") {
            const auto given = value();
            if (!given) return wrong("needs a value");
            const std::string_view text = *given;
            if (arg == "--boards") {
                if (!parseNumber(text, options.fixture.boards) || options.fixture.boards < 1) {
                    return wrong("a number of at least 1 expected");
                }
            } else if (arg == "--board-fault") {
                const auto colon = text.find(':');
                int board = 0;
                if (colon == std::string_view::npos || !parseNumber(text.substr(0, colon), board) ||
                    board < 1) {
                    return wrong("K:SPEC expected, K a board from 1: " + std::string(text));
                }
                if (auto problem = options.fixture.faults[board].add(text.substr(colon + 1))) {
                    return wrong(*problem);
                }
                lastBoard = std::max(lastBoard, board);
                boardOptions = true;
            } else {
                long long ms = 0;
                if (!parseNumber(text, ms) || ms < 0 || ms > kMaxFaultDelay.count()) {
                    return wrong("milliseconds from 0 to 86400000 (a day) expected");
                }
                (arg == "--board-gap" ? options.fixture.gap : options.fixture.stay) =
                    std::chrono::milliseconds(ms);
                boardOptions = true;
            }
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--no-speedup") {
            options.device.speedUp = false;
        } else if (arg == "--line-timing") {
            options.device.lineTiming = true;
        } else if (arg == "--model" || arg == "--baud" || arg == "--memory" || arg == "--dump" ||
                   arg == "--log" || arg == "--fault" || arg == "--seed" || arg == "--sessions") {
            const auto given = value();
            if (!given) return wrong("needs a value");
            const std::string_view text = *given;
            if (arg == "--model") {
                if (!parseModel(text, options.device.model)) {
                    return wrong("three bytes A:B:C expected, not " + std::string(text));
                }
            } else if (arg == "--baud") {
                if (text == "any") {
                    options.device.handshakeRate = HandshakeRate::Any;
                } else if (text == "9600") {
                    options.device.handshakeRate = HandshakeRate::Only9600;
                } else if (text == "19200") {
                    options.device.handshakeRate = HandshakeRate::Only19200;
                } else {
                    return wrong("any, 9600 or 19200 expected, not " + std::string(text));
                }
            } else if (arg == "--memory") {
                options.memoryFile = text;
            } else if (arg == "--dump") {
                options.dumpFile = text;
            } else if (arg == "--log") {
                options.logFile = text;
            } else if (arg == "--fault") {
                if (auto problem = options.device.faults.add(text)) return wrong(*problem);
            } else if (arg == "--seed") {
                if (!parseNumber(text, seed)) return wrong("a number expected");
            } else if (!parseNumber(text, options.sessions) || options.sessions < 1) {
                return wrong("a number of at least 1 expected");
            }
        } else {
            return "unknown option " + std::string(arg) + " (see --help)";
        }
    }
    options.device.faults.setSeed(seed);
    if (options.fixture.boards == 0 && boardOptions) {
        return "--board-gap, --board-stay, --board-unplug and --board-fault need --boards";
    }
    if (options.fixture.boards > 0 && options.sessions > 0) {
        return "--sessions and --boards exclude each other: a fixture ends with its last board";
    }
    if (lastBoard > options.fixture.boards) {
        return "--board-fault: there is no board " + std::to_string(lastBoard) + " of " +
               std::to_string(options.fixture.boards);
    }
    return options;
}

std::string dumpFileOf(const std::string& pattern, int board) {
    const auto at = pattern.find("%d");
    if (at == std::string::npos) return pattern + "." + std::to_string(board);
    return pattern.substr(0, at) + std::to_string(board) + pattern.substr(at + 2);
}

}  // namespace comflash::sim
