// Memory accesses split between the flash banks and the plain target memory.
#include "sim/target_bus.h"

#include <algorithm>

namespace tov::sim {

template <typename Visit>
void TargetBus::split(uint32_t address, size_t size, Visit visit) const {
    size_t done = 0;
    while (done < size) {
        bool inFlash = false;
        const uint32_t at = address + static_cast<uint32_t>(done);
        const size_t length = flash_.stretch(at, size - done, inFlash);
        visit(at, done, length, inFlash);
        done += length;
    }
}

bool TargetBus::memoryAccessible(uint32_t address, size_t size) const {
    bool ok = true;
    split(address, size, [&](uint32_t at, size_t, size_t length, bool inFlash) {
        if (!inFlash) ok = ok && memory_.accessible(at, length);
    });
    return ok;
}

bool TargetBus::read(uint32_t address, std::span<uint8_t> out) {
    if (!flash_.overlaps(address, out.size())) return memory_.read(address, out);
    if (!memoryAccessible(address, out.size())) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return false;
    }
    split(address, out.size(), [&](uint32_t at, size_t offset, size_t length, bool inFlash) {
        if (inFlash)
            flash_.read(at, out.data() + offset, length);
        else
            memory_.read(at, out.subspan(offset, length));
    });
    return true;
}

bool TargetBus::write(uint32_t address, std::span<const uint8_t> data) {
    if (!flash_.overlaps(address, data.size())) return memory_.write(address, data);
    if (!memoryAccessible(address, data.size())) return false;
    split(address, data.size(), [&](uint32_t at, size_t offset, size_t length, bool inFlash) {
        if (inFlash)
            flash_.write(at, data.data() + offset, length);
        else
            memory_.write(at, data.subspan(offset, length));
    });
    return true;
}

}  // namespace tov::sim
