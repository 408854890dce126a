// Arbitrary answers, cut into pieces anywhere, through the session window's receive handler:
// a whole update or read-back on the headless toolkit, in virtual time, against a far end
// whose every answer the fuzzer chooses (a device's own answer, one altered, any bytes up to an
// answer's length, none, a hang-up) and delivers within the reply time-out.
//
// The far end means what it says: an answer beginning with 79 acknowledges its frame. So the
// session may claim success only when the answers it got earn it: an update when every byte of
// the image went out in a data block that was acknowledged, into an erase unit whose erase was
// acknowledged before, and the go frame to the image's first address was acknowledged; a
// read-back when every block of the image is the data of an answer to a request for that
// block whose XOR matched. Whatever the answers, the session ends, in virtual time, with the
// port closed and with one of its own messages or none.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "check.h"
#include "desktop/session_window.h"
#include "sim/line_end.h"
#include "ui/headless/headless_toolkit.h"

using namespace comflash;
using session::Bytes;

namespace {

using Micros = std::chrono::microseconds;
constexpr std::array<std::uint8_t, 3> kModel{1, 2, 3};
constexpr auto kTimeBound = std::chrono::hours(1);
constexpr int kMaxDelayMicros = 999'000;  // every answer comes within the reply time-out

std::uint8_t deviceByte(std::size_t address) {
    return static_cast<std::uint8_t>(address * 31 + 7 + (address >> 8));
}

struct Exchange {
    Bytes sent;
    Bytes answer;
};

// The far end, scripted by the fuzzer. When the input runs out it answers as a device would.
class ScriptedEnd : public sim::LineEnd {
  public:
    explicit ScriptedEnd(FuzzedDataProvider& input) : input_(input) {}

    void setLineRate(int) override {}
    void lineOpened(Micros) override {}
    void lineClosed(Micros) override {}

    std::vector<sim::Emission> receive(std::span<const std::uint8_t> bytes, Micros now) override {
        std::vector<sim::Emission> out;
        Bytes echo(bytes.begin(), bytes.end());
        if (input_.ConsumeIntegralInRange(0, 30) == 0) {
            echo[input_.ConsumeIntegralInRange<std::size_t>(0, echo.size() - 1)] ^= 0x5A;
        }
        cut(echo, now, out);

        Bytes answer = deviceAnswer(bytes);
        switch (input_.remaining_bytes() == 0 ? 0 : input_.ConsumeIntegralInRange(0, 9)) {
            case 6:  // any bytes, no more than an answer holds
                answer = input_.ConsumeBytes<std::uint8_t>(
                    input_.ConsumeIntegralInRange<std::size_t>(0, answer.size()));
                break;
            case 7:  // the device's answer, one byte altered
                if (!answer.empty()) {
                    answer[input_.ConsumeIntegralInRange<std::size_t>(0, answer.size() - 1)] ^=
                        input_.ConsumeIntegralInRange<std::uint8_t>(1, 255);
                }
                break;
            case 8:  // a refusal
                answer[0] = session::kNak;
                break;
            case 9:  // no answer
                answer.clear();
                break;
            default:
                break;
        }
        const Micros at = now + Micros(input_.ConsumeIntegralInRange(0, kMaxDelayMicros));
        cut(answer, at, out);
        if (input_.ConsumeIntegralInRange(0, 150) == 0) {
            out.push_back({at, {}, true});
            hungUp_ = true;
        }
        exchanges_.push_back({Bytes(bytes.begin(), bytes.end()), answer});
        return out;
    }

    const std::vector<Exchange>& exchanges() const { return exchanges_; }
    bool hungUp() const { return hungUp_; }

  private:
    // The bytes in pieces, all due at `at`: the receive handler sees every cut.
    void cut(const Bytes& bytes, Micros at, std::vector<sim::Emission>& out) {
        std::size_t from = 0;
        while (from < bytes.size()) {
            const std::size_t length =
                input_.ConsumeIntegralInRange<std::size_t>(1, bytes.size() - from);
            out.push_back({at, Bytes(bytes.begin() + static_cast<long>(from),
                                     bytes.begin() + static_cast<long>(from + length))});
            from += length;
        }
    }

    static Bytes deviceAnswer(std::span<const std::uint8_t> frame) {
        if (frame.size() == session::kHandshakeLength && frame[1] == session::kHandshake) {
            return {session::kAck, session::kSpeedUp, 1,        0, frame[5], frame[6], 0,
                    kModel[0],     kModel[1],         kModel[2]};
        }
        if (frame.size() == session::kReadLength && frame[1] == session::kRead) {
            const std::size_t base = static_cast<std::size_t>(frame[3] << 8 | frame[4]);
            Bytes block;
            for (std::size_t i = 0; i < session::kReadBlock; ++i) {
                block.push_back(deviceByte(base + i));
            }
            block.push_back(session::xorOf(block));
            return block;
        }
        return {session::kAck};
    }

    FuzzedDataProvider& input_;
    std::vector<Exchange> exchanges_;
    bool hungUp_ = false;
};

bool acknowledged(const Exchange& exchange) {
    return !exchange.answer.empty() && exchange.answer[0] == session::kAck;
}

bool isFrame(const Bytes& sent, std::uint8_t code, std::size_t length) {
    return sent.size() == length && sent[0] == session::kMarker && sent[1] == code;
}

int addressOf(const Bytes& frame) {
    return frame[3] << 8 | frame[4];
}

// An update's success is earned by the acknowledgements; a block the session sent into a unit
// whose erase was not acknowledged is a fault whatever the end.
void judgeUpdate(const std::vector<Exchange>& exchanges, const AppState& state) {
    std::set<int> erased;
    std::vector<int> written(kImageSize, -1);
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const Bytes& sent = exchanges[i].sent;
        if (isFrame(sent, session::kErase, session::kEraseLength) && acknowledged(exchanges[i])) {
            erased.insert(addressOf(sent));
        }
        if (i == 0 || !isFrame(exchanges[i - 1].sent, session::kWrite, session::kWriteLength)) {
            continue;
        }
        const Bytes& write = exchanges[i - 1].sent;
        if (sent.size() != write[5] + 1u || sent == write) continue;  // not its data block
        for (std::size_t k = 0; k + 1 < sent.size(); ++k) {
            const auto address = static_cast<std::size_t>(addressOf(write)) + k;
            COMFLASH_CHECK(erased.contains(session::eraseUnitOf(static_cast<int>(address))),
                           "a data block into a unit whose erase was not acknowledged");
            if (acknowledged(exchanges[i])) written[address] = sent[k];
        }
    }
    if (!state.SessionSucceeded) return;
    COMFLASH_CHECK(!exchanges.empty() && acknowledged(exchanges.back()) &&
                       isFrame(exchanges.back().sent, session::kGo, session::kGoLength) &&
                       addressOf(exchanges.back().sent) == state.ImageStart,
                   "success after an acknowledged go to the image's first address");
    for (std::int32_t a = state.ImageStart; a <= state.ImageEnd; ++a) {
        const auto at = static_cast<std::size_t>(a);
        COMFLASH_CHECK(written[at] == state.FirmwareImage[at],
                       "success with every byte of the image acknowledged in place");
    }
}

// Whether a handshake was answered with `first` and 55 (the device speeds up), and with
// another model than ours when `otherModel` is set.
bool handshakeAnswered(const std::vector<Exchange>& exchanges, std::uint8_t first,
                       bool otherModel) {
    for (const Exchange& exchange : exchanges) {
        const Bytes& answer = exchange.answer;
        if (!isFrame(exchange.sent, session::kHandshake, session::kHandshakeLength) ||
            answer.size() < session::kHandshakeReplyLength || answer[0] != first ||
            answer[1] != session::kSpeedUp) {
            continue;
        }
        if (!otherModel || !std::equal(kModel.begin(), kModel.end(), answer.begin() + 7)) {
            return true;
        }
    }
    return false;
}

void judgeRead(const std::vector<Exchange>& exchanges, const AppState& state) {
    if (!state.SessionSucceeded) return;
    COMFLASH_CHECK(!exchanges.empty() && acknowledged(exchanges.back()) &&
                       isFrame(exchanges.back().sent, session::kGo, session::kGoLength) &&
                       addressOf(exchanges.back().sent) == session::kReadGoAddress,
                   "a read-back ends with an acknowledged go to 9000");
    for (std::size_t base = 0; base < 0x8000; base += session::kReadBlock) {
        const auto block = std::span(state.FirmwareImage).subspan(base, session::kReadBlock);
        bool earned = false;
        for (const Exchange& exchange : exchanges) {
            const Bytes& answer = exchange.answer;
            if (!isFrame(exchange.sent, session::kRead, session::kReadLength) ||
                static_cast<std::size_t>(addressOf(exchange.sent)) != base ||
                answer.size() < session::kReadReplyLength) {
                continue;
            }
            const auto data = std::span(answer).first(session::kReadBlock);
            earned = earned || (session::xorOf(data) == answer[session::kReadBlock] &&
                                std::equal(data.begin(), data.end(), block.begin()));
        }
        COMFLASH_CHECK(earned, "success with every block the data of a good answer for it");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    AppState state;
    state.ComPortNumber = 1;
    state.UseEnglish = input.ConsumeBool();
    state.AppTitle = "Fuzz";
    state.ModelId = kModel;
    state.FirmwareMajor = 1;
    state.FirmwareMinor = 2;
    const bool read = input.ConsumeIntegralInRange(0, 3) == 0;
    if (read) {
        state.ImageStart = 0;
        state.ImageEnd = 0x7FFF;
    } else {
        state.ImageStart = input.ConsumeIntegralInRange(0, 0xFFFF);
        state.ImageEnd = std::min(0xFFFF, state.ImageStart + input.ConsumeIntegralInRange(0, 300));
    }
    for (std::size_t i = 0; i < state.FirmwareImage.size(); ++i) {
        state.FirmwareImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const ImageBytes imageBefore = state.FirmwareImage;

    ui::headless::HeadlessToolkit toolkit;
    toolkit.setTimeLimit(kTimeBound);
    for (int retries = input.ConsumeIntegralInRange(0, 2); retries > 0; --retries) {
        toolkit.answerNext(ui::Answer::Retry,
                           std::chrono::milliseconds(input.ConsumeIntegralInRange(0, 3000)));
    }
    ScriptedEnd far(input);
    toolkit.addPort(1, &far);
    const auto window = toolkit.createWindow(ui::kFormProcess);
    desktop::SessionWindow process(state, toolkit, *window);
    (read ? state.ReadMode : state.UpdateMode) = true;
    try {
        window->showModal();
        toolkit.drive();
    } catch (const ui::headless::Stalled& stalled) {
        COMFLASH_CHECK(false, stalled.what());
    }

    COMFLASH_CHECK(!window->loaded(), "the session window has closed");
    COMFLASH_CHECK(!window->comm("MSComm1").portOpen(), "the port is closed");
    COMFLASH_CHECK(!state.UpdateMode && !state.ReadMode, "the mode is reset");
    const std::set<std::string> ends{"Please reselect COM port!", "请重新选择端口！",
                                     "Model Error！", "Check connection!Retry or cancel?",
                                     "检测连接！重试或取消？"};
    const auto& boxes = toolkit.messages();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::string& text = boxes[i].text;
        const bool prompt = boxes[i].buttons == ui::Buttons::RetryCancel;
        COMFLASH_CHECK(ends.contains(text) || text.starts_with("读写失败,地址 = "),
                       "only the session's own messages");
        COMFLASH_CHECK(prompt || i + 1 == boxes.size(), "nothing after the message that ends it");
        COMFLASH_CHECK(!(state.SessionSucceeded && !prompt), "no failure message on success");
    }
    const std::string last = boxes.empty() ? "" : boxes.back().text;
    if (last == "Please reselect COM port!" || last == "请重新选择端口！") {
        COMFLASH_CHECK(far.hungUp(), "the port blamed only when the line was hung up");
    }
    if (last == "Model Error！") {
        COMFLASH_CHECK(!read && handshakeAnswered(far.exchanges(), session::kAck, true),
                       "a model error only when another model answered");
    }
    if (boxes.empty() && !state.SessionSucceeded) {
        COMFLASH_CHECK(!read && handshakeAnswered(far.exchanges(), session::kNak, false),
                       "a silent end only for a refused handshake");
    }
    if (read) {
        judgeRead(far.exchanges(), state);
    } else {
        COMFLASH_CHECK(state.FirmwareImage == imageBefore, "an update leaves the image alone");
        judgeUpdate(far.exchanges(), state);
    }
    return 0;
}
