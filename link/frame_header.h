// The 2-byte transaction header, event frames and the link-control payloads of line-rate
// negotiation, shared by the host and the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/message.h"

namespace tov::link {

inline constexpr size_t kHeaderSize = 2;
inline constexpr size_t kMaxMessage = 1498;

inline constexpr uint8_t kFrameTypeLink = 0x00;
inline constexpr uint8_t kFrameTypeCommand = 0x10;
inline constexpr uint8_t kFrameTypeNet = 0x30;
inline constexpr uint8_t kEventMarker = 0x08;

// Link-control message codes (frame type 00).
inline constexpr uint8_t kLinkPing = 0x01;
inline constexpr uint8_t kLinkRateChange = 0x03;

struct FrameHeader {
    uint8_t sequence;   // 0..3
    uint8_t frameType;  // bits 5-4 as they stand in byte 0 (0x00, 0x10, 0x20, 0x30)
    bool event;
    uint16_t length;    // 11 bits
};

// Byte 0 and byte 1 of a header. Only the low two bits of `sequence` go on the wire.
inline void writeHeader(uint8_t* out, uint8_t sequence, uint8_t frameType, size_t length) {
    out[0] = static_cast<uint8_t>(((length >> 8) & 0x07) | ((sequence & 0x03) << 6) | frameType);
    out[1] = static_cast<uint8_t>(length & 0xFF);
}

inline FrameHeader readHeader(const uint8_t* in) {
    return FrameHeader{static_cast<uint8_t>(in[0] >> 6), static_cast<uint8_t>(in[0] & 0x30),
                       (in[0] & kEventMarker) != 0,
                       static_cast<uint16_t>(((in[0] & 0x07) << 8) | in[1])};
}

// An event frame is exactly 08 01 <bits>.
inline bool isEventFrame(std::span<const uint8_t> payload) {
    return payload.size() == 3 && payload[0] == kEventMarker && payload[1] == 0x01;
}

inline constexpr uint8_t kLinkPingPayload[3] = {0x00, 0x01, kLinkPing};

// Payload of the line-rate change request: 00 05 03 and the rate, big-endian.
inline void writeRateChangePayload(uint8_t* out, uint32_t rate) {
    out[0] = 0x00;
    out[1] = 0x05;
    out[2] = kLinkRateChange;
    writeBigEndian32(out + 3, rate);
}
inline constexpr size_t kRateChangePayloadSize = 7;

// The line rates a probe may listen at, in scan order.
inline constexpr uint32_t kLineRates[5] = {9600, 19200, 38400, 57600, 115200};

}  // namespace tov::link
