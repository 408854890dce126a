#include "session/frames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace comflash::session {

namespace {

std::uint8_t high(int address) {
    return static_cast<std::uint8_t>((address >> 8) & 0xFF);
}

std::uint8_t low(int address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

std::string upperHex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::uint8_t xorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum ^= byte;
    return sum;
}

void putHandshake(Frame& frame, const std::array<std::uint8_t, 3>& model, std::uint8_t major,
                  std::uint8_t minor) {
    frame[1] = kHandshake;
    frame[2] = model[0];
    frame[3] = model[1];
    frame[4] = model[2];
    frame[5] = major;
    frame[6] = minor;
    frame[7] = xorOf(std::span(frame).first(7));
}

void putErase(Frame& frame, int unit) {
    frame[1] = kErase;
    frame[2] = 0x00;
    frame[3] = high(unit);
    frame[4] = low(unit);
}

void putWrite(Frame& frame, int address, int length) {
    frame[1] = kWrite;
    frame[2] = 0x00;
    frame[3] = high(address);
    frame[4] = low(address);
    frame[5] = static_cast<std::uint8_t>(length);
}

void putGo(Frame& frame, int address) {
    frame[1] = kGo;
    frame[2] = 0x00;
    frame[3] = high(address);
    frame[4] = low(address);
}

void putRead(Frame& frame, int address) {
    frame[1] = kRead;
    frame[2] = 0x00;
    frame[3] = high(address);
    frame[4] = low(address);
    frame[5] = static_cast<std::uint8_t>(kReadBlock);
    frame[6] = 'R';
}

Bytes dataBlock(const Frame& frame, const ImageBytes& image) {
    const std::size_t length = frame[5];
    const std::size_t base = frame[3] * 256u + frame[4];
    // The device refuses a block past the top of memory; the image never asks for one, but a
    // block must not read past the image either.
    const std::size_t end = std::min(base + length, image.size());
    Bytes block(image.begin() + static_cast<std::ptrdiff_t>(base),
                image.begin() + static_cast<std::ptrdiff_t>(end));
    block.push_back(xorOf(block));
    return block;
}

CommandVerdict judgeCommandReply(std::uint8_t byte0) {
    if (byte0 == kAck) return CommandVerdict::Accepted;
    if (byte0 == kNak) return CommandVerdict::Refused;
    return CommandVerdict::Unreadable;
}

bool finished(int next, std::int32_t imageEnd) {
    return next >= kPastLastAddress || next > imageEnd;
}

int blockLength(int next, std::int32_t imageEnd) {
    const int page = next / 256;
    const int low = next % 256;
    const int toUnitEnd = kEraseUnit - low % kEraseUnit;
    const int endPage = imageEnd / 256;
    const int endLow = imageEnd % 256;
    if (page == endPage && endLow - low <= kEraseUnit - 2) {
        return std::min(endLow - low + 1, toUnitEnd);
    }
    return toUnitEnd;
}

double progressFraction(int next, std::int32_t imageStart, std::int32_t imageEnd) {
    if (next >= kPastLastAddress) return 1.0;
    double fraction = 0.0;
    if (imageEnd == imageStart) {
        fraction = next > imageEnd ? 1.0 : 0.0;
    } else {
        fraction =
            static_cast<double>(next - imageStart) / static_cast<double>(imageEnd - imageStart);
    }
    return std::clamp(fraction, 0.0, 1.0);
}

std::string progressText(double fraction) {
    const long percent = std::lround(fraction * 100.0);
    return "Complete:" + (percent == 0 ? std::string() : std::to_string(percent)) + "%";
}

std::string failureText(int next) {
    return "读写失败,地址 = " + upperHex(next / 256) + upperHex(next % 256);
}

}  // namespace comflash::session
