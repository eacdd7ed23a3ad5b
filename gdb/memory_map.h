// The memory map the GDB client gets: which address ranges are RAM and which are flash, with
// the size of the blocks a flash erase takes, as the document of the memory-map transfer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tov::gdb {

struct MemoryRegion {
    uint32_t start = 0;
    uint64_t length = 0;  // up to the whole 32-bit space
    bool flash = false;
    uint32_t blockSize = 0;  // flash only: the erase unit

    uint64_t end() const { return start + length; }
};

// One flash range of `size` bytes at `base`, erased in blocks of `blockSize`, with the rest of
// the 32-bit space as RAM around it (a client takes anything the map leaves out as inaccessible).
std::vector<MemoryRegion> regionsAroundFlash(uint32_t base, uint64_t size, uint32_t blockSize);

// The memory-map XML document of the regions.
std::string memoryMapDocument(const std::vector<MemoryRegion>& regions);

}  // namespace tov::gdb
