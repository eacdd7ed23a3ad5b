// The ways the simulator damages an answer datagram on purpose. A datagram has no check byte of
// its own, so damage is chosen where the host can notice it: the length and sequence bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tov::sim {

// Flips the lowest bit of the header's length field: the length no longer matches.
void breakLengthField(std::vector<uint8_t>& datagram);

// Cuts the last byte off (a frame payload of at least one byte stays).
void truncateDatagram(std::vector<uint8_t>& datagram);

// Flips one of the header bits the host checks: the three high length bits and both sequence
// bits of byte 0, and every bit of byte 1. `choice` picks one of these 13 bits (modulo 13).
// Returns the byte and bit flipped, as byte * 8 + bit.
unsigned flipCheckedHeaderBit(std::vector<uint8_t>& datagram, uint64_t choice);

}  // namespace tov::sim
