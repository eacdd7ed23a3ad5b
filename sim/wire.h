// Big-endian field helpers and the probe-side status words used by the simulated firmware.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tov::sim {

// Probe-side status words carried in answers (signed 16-bit on the wire).
inline constexpr int16_t kStatusOk = 0;
inline constexpr int16_t kStatusWrongState = -2006;
inline constexpr int16_t kStatusNotInDebugMode = -2101;
inline constexpr int16_t kStatusInvalidParameter = -2102;
inline constexpr int16_t kStatusNoResources = -2104;
inline constexpr int16_t kStatusBadAddress = -2107;
inline constexpr int16_t kStatusUnknownObject = -2201;
inline constexpr int16_t kStatusUnknownAction = -2202;
inline constexpr int16_t kStatusUnknownParameter = -2203;
inline constexpr int16_t kStatusInvalidSetup = -2204;
inline constexpr int16_t kStatusInvalidValue = -2205;
inline constexpr int16_t kStatusNotSupported = -2206;
inline constexpr int16_t kStatusExecutionFailed = -2207;

// Answer of a request the firmware does not know, and of a malformed request whose answer has
// no status field to report it in: the host rejects it as an invalid response.
inline constexpr uint8_t kUnknownRequestAnswer = 0x00;

inline uint16_t readU16(std::span<const uint8_t> in, size_t at) {
    return static_cast<uint16_t>((in[at] << 8) | in[at + 1]);
}

inline uint32_t readU32(std::span<const uint8_t> in, size_t at) {
    return (uint32_t{in[at]} << 24) | (uint32_t{in[at + 1]} << 16) | (uint32_t{in[at + 2]} << 8) |
           in[at + 3];
}

inline void appendU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    appendU16(out, static_cast<uint16_t>(value >> 16));
    appendU16(out, static_cast<uint16_t>(value));
}

inline void appendStatus(std::vector<uint8_t>& out, int16_t status) {
    appendU16(out, static_cast<uint16_t>(status));
}

// The answer code followed by a status: the whole answer of a refused request.
inline std::vector<uint8_t> statusAnswer(uint8_t code, int16_t status) {
    std::vector<uint8_t> out{code};
    appendStatus(out, status);
    return out;
}

}  // namespace tov::sim
