// Serial frames as the simulator puts them on the line, and the ways it damages them on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tov::sim {

// DLE STX payload DLE ETX BCC, through the link's one encoder.
std::vector<uint8_t> encodeWire(std::span<const uint8_t> payload);

// Event frame payload 08 01 <bits>.
std::vector<uint8_t> eventPayload(uint8_t bits);

// Replaces the check byte of an encoded frame with a wrong one.
void breakCheckByte(std::vector<uint8_t>& wire);

// Puts DLE 0x05 into the data part of an encoded frame, a sequence no encoder produces.
void insertFormatError(std::vector<uint8_t>& wire);

// Flips one bit of one byte of the encoded frame.
void flipBit(std::vector<uint8_t>& wire, size_t position, uint8_t bit);

// A payload longer than any receiver's 1500-byte buffer that begins with the given answer.
std::vector<uint8_t> overflowPayload(std::span<const uint8_t> payload);

}  // namespace tov::sim
