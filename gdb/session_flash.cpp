// The GDB server's flash packets: erases and writes checked against the flash ranges of the
// memory map and gathered until vFlashDone hands them to the flash programmer in one pass.
#include <cstdio>

#include "gdb/session.h"

namespace tov::gdb {
namespace {

constexpr const char* kMalformed = "E01";
// An erase outside the flash or off its block boundaries, or more bytes than the flash holds.
constexpr const char* kOutsideFlash = "E02";
// A flash write to memory that is not flash.
constexpr const char* kNotFlash = "E.memtype";

}  // namespace

const MemoryRegion* Session::flashRegion(uint32_t address, uint64_t length) const {
    for (const MemoryRegion& region : options_.memoryMap) {
        if (region.flash && address >= region.start && address + length <= region.end())
            return &region;
    }
    return nullptr;
}

std::string Session::flashErase(const std::string& args) {
    uint32_t address = 0, length = 0;
    if (!addressAndLength(args, address, length)) return kMalformed;
    const MemoryRegion* region = flashRegion(address, length);
    if (region == nullptr) return kOutsideFlash;
    const uint32_t block = region->blockSize;
    if (block != 0 && ((address - region->start) % block != 0 || length % block != 0))
        return kOutsideFlash;
    if (length > 0) flashBatch_.erases.emplace_back(address, length);
    return "OK";
}

std::string Session::flashWrite(const std::string& args) {
    const size_t colon = args.find(':');
    uint32_t address = 0;
    if (colon == std::string::npos || !parseHex32(args.substr(0, colon), address))
        return kMalformed;
    const size_t length = args.size() - colon - 1;
    if (length == 0) return "OK";
    if (flashRegion(address, length) == nullptr) return kNotFlash;
    // A client never writes more than the flash holds; one that does is not buffered further.
    uint64_t flashBytes = 0;
    for (const MemoryRegion& region : options_.memoryMap) {
        if (region.flash) flashBytes += region.length;
    }
    if (flashBuffered_ + length > flashBytes) return kOutsideFlash;
    flashBatch_.writes.emplace_back(address,
                                    std::vector<uint8_t>(args.begin() + colon + 1, args.end()));
    flashBuffered_ += length;
    return "OK";
}

std::string Session::flashDone() {
    if (flashBatch_.empty()) return "OK";
    const FlashFailure failure = options_.flash->program(flashBatch_);
    flashBatch_ = {};
    flashBuffered_ = 0;
    if (failure == FlashFailure::None) return "OK";
    char reply[8];
    std::snprintf(reply, sizeof reply, "E%02x", static_cast<unsigned>(failure));
    return reply;
}

}  // namespace tov::gdb
