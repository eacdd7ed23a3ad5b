// Translation of RDI register requests into the probe's register descriptors: processor mode
// and mask, coprocessor 0, and the system control coprocessor by CPU type code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "include/tov_types.h"

namespace tov::rdi {

// A register list of at most 32 descriptors.
struct RegisterList {
    RegisterDescriptor items[32];
    uint16_t count = 0;
};

// r0..r14 of the mode's bank for mask bits 0-14 (bit 15 takes no slot), then the PC (bit 16),
// the CPSR (bit 17) and the mode's SPSR (bit 18).
RegisterList cpuRegisters(uint32_t mode, uint32_t mask);

// The CP15 selectors set through RDI_Info.
struct Cp15Selection {
    int cacheSelected = 0;
    int memoryArea = 0;
};

// Coprocessor 0 and 15 registers of the mask; other coprocessors and unknown CPU types give an
// empty list.
RegisterList coprocessorRegisters(uint32_t coprocessor, uint32_t mask, uint16_t cpuType,
                                  Cp15Selection selection);

}  // namespace tov::rdi
