// The coprocessor register descriptions a debugger asks for: which registers coprocessor 0 (the
// core's debug logic) and coprocessor 15 (system control) have, by the target's CPU type code.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tov::rdi {

struct CoprocessorRange {
    uint16_t first;
    uint16_t last;
    uint32_t size;    // bytes per register
    uint32_t access;  // 1 read only, 3 read and write
};

// The ranges of a coprocessor; empty when it is not described for this CPU type.
std::span<const CoprocessorRange> coprocessorRanges(unsigned coprocessor, uint16_t cpuType);

// The description record: an entry count, then 16 bytes per range (first and last as 16-bit,
// size, access and a zero word as 32-bit, all little-endian).
std::vector<uint8_t> coprocessorRecord(std::span<const CoprocessorRange> ranges);

}  // namespace tov::rdi
