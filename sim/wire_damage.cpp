// Encoding of answers and the deliberate damage applied to them.
#include "sim/wire_damage.h"

#include "link/frame_codec.h"
#include "link/frame_header.h"

namespace tov::sim {

std::vector<uint8_t> encodeWire(std::span<const uint8_t> payload) {
    std::vector<uint8_t> wire(link::encodedFrameCapacity(payload.size()));
    wire.resize(link::encodeFrame(payload, wire.data()));
    return wire;
}

std::vector<uint8_t> eventPayload(uint8_t bits) {
    return {link::kEventMarker, 0x01, bits};
}

void breakCheckByte(std::vector<uint8_t>& wire) {
    // A check byte of 0x10 is the only one that goes out doubled.
    uint8_t bcc = wire.back();
    wire.pop_back();
    if (bcc == link::kDle) wire.pop_back();
    uint8_t wrong = bcc ^ 0x01;
    if (wrong == link::kDle) wrong = bcc ^ 0x02;
    wire.push_back(wrong);
}

void insertFormatError(std::vector<uint8_t>& wire) {
    // Behind DLE STX and the first payload byte (a doubled DLE stays whole).
    size_t at = wire[2] == link::kDle ? 4 : 3;
    wire.insert(wire.begin() + static_cast<std::ptrdiff_t>(at), {link::kDle, 0x05});
}

void flipBit(std::vector<uint8_t>& wire, size_t position, uint8_t bit) {
    wire[position % wire.size()] ^= static_cast<uint8_t>(1u << (bit & 7));
}

std::vector<uint8_t> overflowPayload(std::span<const uint8_t> payload) {
    constexpr size_t kLength = link::kMaxPayload + 100;
    std::vector<uint8_t> out(payload.begin(), payload.end());
    out.resize(kLength, 0x00);
    link::writeHeader(out.data(), static_cast<uint8_t>(payload[0] >> 6), payload[0] & 0x30,
                      kLength - link::kHeaderSize);
    return out;
}

}  // namespace tov::sim
