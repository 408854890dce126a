// The bootloader's frames and the rules for reading its replies: pure functions, no I/O.
//
// Every command frame starts with the marker 0x55 and its command code; addresses travel high
// byte first. The host hears its own bytes echoed ahead of each answer. Replies:
//   handshake  55 82 M0 M1 M2 VMAJ VMIN X   -> 10 bytes: ACK/NAK, 55 (go to 19200) or other,
//                                             5 bytes not examined, the device's model
//   erase      55 01 00 AH AL               -> 1 byte, a block reply: ACK or failure
//   write      55 02 00 AH AL LEN           -> 1 byte, a command reply: ACK or NAK
//   data block D0 .. D(LEN-1) X             -> 1 byte, a block reply: ACK or failure
//   go         55 03 00 AH AL               -> 1 byte, a command reply: ACK or NAK
//   read       55 81 00 AH AL 80 52         -> 129 bytes, a block reply: 128 bytes and their X
// X is the XOR of the bytes it follows (of the first seven in a handshake). A read session
// announces the version FF FF and ends with a go to 9000.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/app_state.h"

namespace comflash::session {

using Bytes = std::vector<std::uint8_t>;
// The command frame being built; a step overwrites only the bytes it needs, and a send
// transmits the first FrameLength bytes.
using Frame = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t kMarker = 0x55;
inline constexpr std::uint8_t kHandshake = 0x82;
inline constexpr std::uint8_t kErase = 0x01;
inline constexpr std::uint8_t kWrite = 0x02;
inline constexpr std::uint8_t kGo = 0x03;
inline constexpr std::uint8_t kRead = 0x81;

inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kNak = 0x1F;
// Handshake reply byte 1: the device has moved to 19200 baud.
inline constexpr std::uint8_t kSpeedUp = 0x55;

inline constexpr std::uint8_t kHandshakeLength = 8;
inline constexpr std::uint8_t kEraseLength = 5;
inline constexpr std::uint8_t kWriteLength = 6;
inline constexpr std::uint8_t kGoLength = 5;
inline constexpr std::uint8_t kReadLength = 7;
inline constexpr std::uint8_t kHandshakeReplyLength = 10;
inline constexpr std::uint8_t kAckLength = 1;
// A read request always asks for 128 bytes; they come with their XOR.
inline constexpr int kReadBlock = 128;
inline constexpr std::uint8_t kReadReplyLength = kReadBlock + 1;
// Where a read session tells the device to start its application.
inline constexpr int kReadGoAddress = 0x9000;

// The device erases memory in units of 128 bytes; a block never exceeds one unit.
inline constexpr int kEraseUnit = 128;
// The first address past the device's memory: a session that reaches it is done.
inline constexpr int kPastLastAddress = 0x10000;

std::uint8_t xorOf(std::span<const std::uint8_t> bytes);

// Each fills the bytes of its frame (byte 0, the marker, is set once per session).
void putHandshake(Frame& frame, const std::array<std::uint8_t, 3>& model, std::uint8_t major,
                  std::uint8_t minor);
void putErase(Frame& frame, int unit);
void putWrite(Frame& frame, int address, int length);
void putGo(Frame& frame, int address);
void putRead(Frame& frame, int address);
// The data block announced by the write command in `frame`: its bytes of the image and their
// XOR.
Bytes dataBlock(const Frame& frame, const ImageBytes& image);

enum class CommandVerdict { Accepted, Refused, Unreadable };
CommandVerdict judgeCommandReply(std::uint8_t byte0);

constexpr int eraseUnitOf(int address) {
    return address & ~(kEraseUnit - 1);
}

// Finished once the next address has passed imageEnd.
bool finished(int next, std::int32_t imageEnd);
// How many bytes the write command at the next address announces: the rest of the image, but
// never past the end of the erase unit the block starts in, so that every unit is erased
// before anything is written into it.
int blockLength(int next, std::int32_t imageEnd);

// The fraction of the image done, 0 to 1, when `next` is the next address. An image of one
// address is done once that address is written.
double progressFraction(int next, std::int32_t imageStart, std::int32_t imageEnd);
// "Complete:" and the percentage, rounded, without leading zeros: "Complete:%" for 0.
std::string progressText(double fraction);
// "读写失败,地址 = " and the next address's high and low byte in upper-case hexadecimal, each
// unpadded: 0x1205 gives "125".
std::string failureText(int next);

}  // namespace comflash::session
