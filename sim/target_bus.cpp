// Memory accesses split between the flash banks, the on-chip flash and the plain target memory.
#include "sim/target_bus.h"

#include <algorithm>

namespace tov::sim {

bool TargetBus::memoryAccessible(uint32_t address, size_t size) const {
    bool ok = true;
    forEachPlace(flash_, chip_, address, size,
                 [&](uint32_t at, size_t, size_t length, BusPlace place) {
                     if (place == BusPlace::Memory) ok = memory_.accessible(at, length);
                     return ok;
                 });
    return ok;
}

bool TargetBus::read(uint32_t address, std::span<uint8_t> out) {
    const bool anyFlash =
        flash_.overlaps(address, out.size()) || chip_.overlaps(address, out.size());
    if (!anyFlash) return memory_.read(address, out);
    if (!memoryAccessible(address, out.size())) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return false;
    }
    forEachPlace(flash_, chip_, address, out.size(),
                 [&](uint32_t at, size_t offset, size_t length, BusPlace place) {
                     switch (place) {
                         case BusPlace::Chip:
                             chip_.read(at, out.data() + offset, length);
                             break;
                         case BusPlace::Bank:
                             flash_.read(at, out.data() + offset, length);
                             break;
                         case BusPlace::Memory:
                             memory_.read(at, out.subspan(offset, length));
                             break;
                     }
                     return true;
                 });
    return true;
}

bool TargetBus::write(uint32_t address, std::span<const uint8_t> data) {
    if (chip_.overlaps(address, data.size())) return false;
    if (!flash_.overlaps(address, data.size())) return memory_.write(address, data);
    if (!memoryAccessible(address, data.size())) return false;
    forEachPlace(flash_, chip_, address, data.size(),
                 [&](uint32_t at, size_t offset, size_t length, BusPlace place) {
                     if (place == BusPlace::Bank)
                         flash_.write(at, data.data() + offset, length);
                     else
                         memory_.write(at, data.subspan(offset, length));
                     return true;
                 });
    return true;
}

}  // namespace tov::sim
