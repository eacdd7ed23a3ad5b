// The memory map document of the GDB server.
#include "gdb/memory_map.h"

#include <cstdio>

namespace tov::gdb {
namespace {

constexpr uint64_t kAddressSpace = 0x100000000ull;

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

std::vector<MemoryRegion> regionsAroundFlash(uint32_t base, uint64_t size, uint32_t blockSize) {
    std::vector<MemoryRegion> regions;
    if (base > 0) regions.push_back({0, base, false, 0});
    regions.push_back({base, size, true, blockSize});
    if (base + size < kAddressSpace) {
        const uint64_t end = base + size;
        regions.push_back({static_cast<uint32_t>(end), kAddressSpace - end, false, 0});
    }
    return regions;
}

std::string memoryMapDocument(const std::vector<MemoryRegion>& regions) {
    std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE memory-map SYSTEM \"gdb-memory-map.dtd\">\n"
        "<memory-map>\n";
    for (const MemoryRegion& region : regions) {
        const std::string range =
            " start=\"" + hex(region.start) + "\" length=\"" + hex(region.length) + "\"";
        if (!region.flash) {
            xml += "  <memory type=\"ram\"" + range + "/>\n";
            continue;
        }
        const std::string block = hex(region.blockSize);
        xml += "  <memory type=\"flash\"" + range + ">\n";
        xml += "    <property name=\"blocksize\">" + block + "</property>\n";
        xml += "  </memory>\n";
    }
    return xml + "</memory-map>\n";
}

}  // namespace tov::gdb
